#include "app/Data_SQL.h"

#include <vector>

#include "convert/TableSql.h"
#include "settings/windows/ScreenCursor.h"

namespace {

class HourglassWhile {
 public:
  HourglassWhile() { SetScreenCursor(ScreenCursor::Hourglass); }
  ~HourglassWhile() { SetScreenCursor(ScreenCursor::Default); }
  HourglassWhile(const HourglassWhile&) = delete;
  HourglassWhile& operator=(const HourglassWhile&) = delete;
};

QStringList toQt(const std::vector<std::string>& lines) {
  QStringList out;
  out.reserve(static_cast<qsizetype>(lines.size()));
  for (const auto& line : lines) out << QString::fromStdString(line);
  return out;
}

}  // namespace

void MakeTableSql(QStringList& lines, ff::TffTable& table, const std::string& tableName) {
  HourglassWhile hourglass;
  std::vector<std::string> added;
  try {
    AppendTableSql(added, table, tableName);
  } catch (...) {
    lines << toQt(added);  // the lines written before the failure stay, as in the pane
    throw;
  }
  lines << toQt(added);
}

QStringList StatementEndAfter(const QStringList& lines) {
  std::vector<std::string> text;
  text.reserve(static_cast<std::size_t>(lines.size()));
  for (const auto& line : lines) text.push_back(line.toStdString());
  return toQt(StatementEndAfter(text));
}
