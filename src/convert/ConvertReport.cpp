#include "convert/ConvertReport.h"

#include <csignal>
#include <cstdio>
#include <iomanip>
#include <ostream>

#include "text/Utf8Text.h"

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) { interrupted = true; }

// Ctrl-C raises the stop flag for the life of the object instead of ending the process.
class InterruptFlag {
 public:
  InterruptFlag() {
    interrupted = false;
    previous_ = std::signal(SIGINT, onInterrupt);
  }
  ~InterruptFlag() { std::signal(SIGINT, previous_); }
  InterruptFlag(const InterruptFlag&) = delete;
  InterruptFlag& operator=(const InterruptFlag&) = delete;

 private:
  void (*previous_)(int);
};

class NoProgress : public ConvertObserver {};

double secondsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// Pads to a width in characters (names may hold æøå).
std::string padded(const std::string& s, std::size_t width) {
  const std::size_t length = Utf8Length(s);
  return s + std::string(length < width ? width - length : 0, ' ');
}

// Row figures only for a table that was converted, its verification run to the end: a failed
// table's figures (all rows alike before a later step failed, or counted up to a difference)
// would read as a success beside its failure.
std::string verifiedText(const TableOutcome& o, bool verified) {
  if (!o.Converted()) return "FEILET";
  if (o.verified) {
    return std::to_string(o.verified->identical) + " av " + std::to_string(o.verified->sourceRows) + " rader like";
  }
  return verified ? "" : "ikke kontrollert";
}

}  // namespace

void ProgressLine::TableStarted(const std::string& table, std::int64_t rows) {
  started_ = shown_ = std::chrono::steady_clock::now();
  RowsLoaded(table, 0, rows);
}

void ProgressLine::RowsLoaded(const std::string& table, std::int64_t done, std::int64_t total) {
  const auto now = std::chrono::steady_clock::now();
  if (done != 0 && done != total && now - shown_ < std::chrono::milliseconds(200)) return;
  shown_ = now;
  const double seconds = secondsSince(started_);
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
  char line[200];
  std::snprintf(line, sizeof line, "  %lld av %lld rader  %.0f rader/s", static_cast<long long>(done),
                static_cast<long long>(total), rate);
  char left[40] = "";
  if (rate > 0) std::snprintf(left, sizeof left, "  ca. %.0f s igjen", static_cast<double>(total - done) / rate);
  err_ << "\r\x1b[K" << table << line << left << std::flush;
}

void ProgressLine::TableFinished(const TableOutcome&) { err_ << "\r\x1b[K" << std::flush; }

void PrintConvertSummary(std::ostream& out, const std::vector<TableOutcome>& outcomes, bool verified) {
  std::size_t width = 6;
  for (const auto& o : outcomes) width = std::max(width, Utf8Length(o.table));
  out << padded("Tabell", width) << "  " << std::setw(10) << "Lest" << std::setw(10) << "Skrevet" << std::setw(12)
      << "BLOB-byte" << std::setw(11) << "Gjort NULL" << std::setw(9) << "Sekunder" << "  Kontrollert\n";
  int converted = 0;
  for (const auto& o : outcomes) {
    converted += o.Converted();
    out << padded(o.table, width) << "  " << std::setw(10) << o.counts.rowsRead << std::setw(10)
        << o.counts.rowsWritten << std::setw(12) << o.counts.blobBytes << std::setw(11) << o.counts.madeNull
        << std::setw(9) << std::fixed << std::setprecision(2) << o.seconds << "  " << verifiedText(o, verified)
        << '\n';
  }
  for (const auto& o : outcomes) {
    if (o.keyName != "id") {
      out << o.table << ": tabellen har et felt som heter id, så nøkkelen heter " << o.keyName << '\n';
    }
    if (!o.Converted()) out << o.table << ": FEILET: " << o.error << '\n';
  }
  out << converted << " av " << outcomes.size() << " tabeller konvertert\n";
}

int ConvertExitCode(const std::vector<TableOutcome>& outcomes) {
  int code = 0;
  for (const auto& o : outcomes) {
    if (o.damagedSource) return 2;
    if (!o.Converted()) code = 1;
  }
  return code;
}

int RunConvertCommand(const ConvertOptions& options, const TargetConnector& connectTarget, bool showProgress,
                      std::ostream& out, std::ostream& err) {
  InterruptFlag interrupt;
  ProgressLine progress(err);
  NoProgress none;
  ConvertObserver& observer = showProgress ? static_cast<ConvertObserver&>(progress) : none;
  std::vector<TableOutcome> outcomes;
  try {
    SqlConverter converter(options, connectTarget, observer, interrupted);
    outcomes = converter.Run();
  } catch (const EConvertInput& e) {
    err << "kvist-ff: " << e.what() << '\n';
    return 2;
  }
  PrintConvertSummary(out, outcomes, options.verify);
  return ConvertExitCode(outcomes);
}
