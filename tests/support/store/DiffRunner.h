// Plays one sequence of data-set calls on the same table of several aliases (a SQLite folder,
// a server database, a firm's .ff2 files) and compares, after every call, all that a caller
// can see: the call's result or exception, state, Eof/Bof, counts, position and every value.
// A sequence that differs is shrunk (delta debugging) to a short one that still differs.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <typeinfo>
#include <vector>

#include "store/DataSource.h"
#include "store/Errors.h"
#include "store/Field.h"
#include "store/Table.h"
#include "support/store/DiffOp.h"
#include "support/store/DiffTolerances.h"

namespace diff {

// One alias the calls run on. `local` lists texts that only this alias has (its folder, its
// database): messages are compared with them blotted out.
struct BackEnd {
  std::string label;
  std::string alias;
  std::vector<std::string> local;
};

// ---- Observing ----

inline std::string ExceptionType(const std::exception& e) {
  if (dynamic_cast<const ff::ECannotOpen*>(&e)) return "ECannotOpen";
  if (dynamic_cast<const ff::EKeyViolation*>(&e)) return "EKeyViolation";
  if (dynamic_cast<const ff::EBadFilter*>(&e)) return "EBadFilter";
  if (dynamic_cast<const ff::EReadOnly*>(&e)) return "EReadOnly";
  if (dynamic_cast<const ff::EDiskFull*>(&e)) return "EDiskFull";
  if (dynamic_cast<const ff::ENotEditing*>(&e)) return "ENotEditing";
  if (dynamic_cast<const ff::ENotFound*>(&e)) return "ENotFound";
  if (dynamic_cast<const ff::ERequired*>(&e)) return "ERequired";
  if (dynamic_cast<const ff::ERowChanged*>(&e)) return "ERowChanged";
  if (dynamic_cast<const ff::EConnection*>(&e)) return "EConnection";
  if (dynamic_cast<const ff::ENoBackend*>(&e)) return "ENoBackend";
  if (dynamic_cast<const ff::EAbort*>(&e)) return "EAbort";
  if (dynamic_cast<const ff::Error*>(&e)) return "Error (" + std::string(typeid(e).name()) + ")";
  return std::string("std::exception (") + typeid(e).name() + ")";
}

struct Item {
  std::string label;
  std::string text;
};

inline const char* StateName(ff::DataSetState s) {
  switch (s) {
    case ff::DataSetState::Inactive: return "Inactive";
    case ff::DataSetState::Browse: return "Browse";
    case ff::DataSetState::Edit: return "Edit";
    case ff::DataSetState::Insert: return "Insert";
    case ff::DataSetState::CalcFields: return "CalcFields";
  }
  return "?";
}

// The same table of one alias: the data set under test, a second handle, and a master table
// (when there is one) whose current row gives the range.
class Side {
 public:
  Side(const BackEnd& backEnd, const std::string& table, const std::string& masterTable, bool readOnly)
      : backEnd_(backEnd) {
    if (!masterTable.empty()) {
      setUp(master_, masterTable, true);
      master_.Open();
      source_.SetDataSet(&master_);
    }
    setUp(table_, table, readOnly);
    setUp(other_, table, readOnly);
    table_.Open();
    other_.Open();
  }
  Side(const Side&) = delete;
  Side& operator=(const Side&) = delete;

  ff::TffTable& Table() { return table_; }

  // Runs op and returns what a caller sees afterwards.
  std::vector<Item> Apply(const Op& op) {
    std::vector<Item> items;
    items.push_back({"resultat", guarded([&] { return run(op); })});
    observe(items);
    // KV_DIFF_TRACE=1 prints every call with what it gave, for reading a replay.
    static const bool trace = [] {
      const char* env = std::getenv("KV_DIFF_TRACE");
      return env && std::string(env) == "1";
    }();
    if (trace) {
      std::cerr << backEnd_.label << ": " << Describe(op, table_.Active() ? table_.FieldDefs() : std::vector<ff::FieldDef>{})
                << " -> " << Escaped(items[0].text) << " [" << items[1].text << " " << items[2].text << " antall "
                << items[3].text << " recno " << items[4].text << "]\n";
    }
    return items;
  }

 private:
  void setUp(ff::TffTable& t, const std::string& name, bool readOnly) {
    t.SetDatabaseName(backEnd_.alias);
    t.SetTableName(name);
    t.SetReadOnly(readOnly);
  }

  std::string blotted(std::string text) const {
    for (const auto& s : backEnd_.local) {
      if (s.empty()) continue;
      for (auto at = text.find(s); at != std::string::npos; at = text.find(s, at)) text.replace(at, s.size(), "<lokal>");
    }
    return text;
  }

  template <class F>
  std::string guarded(F f) {
    try {
      return f();
    } catch (const std::exception& e) {
      const std::string type = ExceptionType(e);
      return "unntak " + type + ": " + ToleratedMessage(type, blotted(e.what()));
    }
  }

  void observe(std::vector<Item>& items) {
    items.push_back({"State", StateName(table_.State())});
    items.push_back({"Eof/Bof/IsEmpty/Modified", std::string(table_.Eof() ? "E" : "-") + (table_.Bof() ? "B" : "-") +
                                                     (table_.IsEmpty() ? "T" : "-") + (table_.Modified() ? "M" : "-")});
    items.push_back({"RecordCount", guarded([&] { return std::to_string(table_.RecordCount()); })});
    items.push_back({"RecNo", guarded([&] { return std::to_string(table_.RecNo()); })});
    for (int i = 0; i < table_.FieldCount(); ++i) {
      const ff::TField& f = table_.Fields(i);
      items.push_back({"felt " + f.FieldName(), RenderValue(ToleratedValue(f.AsValue()))});
    }
  }

  static void set(ff::TField& f, const Op& op) {
    const ff::Value& v = op.values.empty() ? ff::Value{} : op.values[0];
    switch (op.setter) {
      case Setter::Value: return f.SetValue(v);
      case Setter::Integer: return f.SetAsInteger(ff::valueToInt(v));
      case Setter::Float: return f.SetAsFloat(ff::valueToDouble(v));
      case Setter::String: return f.SetAsString(ff::valueToString(v));
      case Setter::EditText: return f.SetEditText(op.text);
      case Setter::Boolean: return f.SetAsBoolean(ff::valueToInt(v) != 0);
      case Setter::Clear: return f.Clear();
    }
  }

  // Runs change on the second handle; an unposted change is dropped when it fails.
  template <class F>
  std::string onOther(F change) {
    try {
      change();
    } catch (...) {
      try {
        other_.Cancel();
      } catch (const std::exception&) {
        // Its own failure is what the caller sees.
      }
      throw;
    }
    return "";
  }

  std::string readRows(const Op& op) {
    const auto run = table_.ReadRows(op.n, op.field);
    std::string out = std::to_string(run.rows.size()) + " rader";
    for (const auto& row : run.rows) {
      out += " {";
      for (const auto& v : row) out += RenderValue(ToleratedValue(v)) + "; ";
      out += "}";
    }
    return out;
  }

  std::string rangeOn(const Op& op) {
    if (!table_.MasterSource()) table_.SetMasterSource(&source_);
    table_.SetMasterFields(op.text);
    return master_.MoveToRecNo(op.n) ? "true" : "false";
  }

  void addIndex(const Op& op) {
    const auto eq = op.text.find('=');
    table_.Close();
    other_.Close();
    table_.SetExclusive(true);
    try {
      table_.Open();
      table_.AddIndex(op.text.substr(0, eq), op.text.substr(eq + 1), static_cast<unsigned>(op.n));
    } catch (...) {
      reopenShared();
      throw;
    }
    reopenShared();
  }

  void reopenShared() {
    table_.Close();
    table_.SetExclusive(false);
    table_.Open();
    other_.Open();
  }

  void bulk(int rows) {
    for (int k = 0; k < rows; ++k) {
      other_.Append();
      other_.FieldByName("NAVN").SetAsString("masse " + std::to_string(k % 97));
      other_.FieldByName("PRIS").SetAsFloat((k % 41) / 4.0);
      other_.FieldByName("DATO").SetAsFloat(ff::encodeDate(2000, 1, 1) + k % 60);
      other_.Post();
    }
  }

  std::string run(const Op& op) {
    const auto yes = [](bool b) { return std::string(b ? "true" : "false"); };
    switch (op.kind) {
      case OpKind::First: table_.First(); break;
      case OpKind::Last: table_.Last(); break;
      case OpKind::Next: table_.Next(); break;
      case OpKind::Prior: table_.Prior(); break;
      case OpKind::MoveBy: return std::to_string(table_.MoveBy(op.n));
      case OpKind::MoveToRecNo: return yes(table_.MoveToRecNo(op.n));
      case OpKind::Append: table_.Append(); break;
      case OpKind::Insert: table_.Insert(); break;
      case OpKind::Edit: table_.Edit(); break;
      case OpKind::Set: set(table_.Fields(op.field), op); break;
      case OpKind::Post: table_.Post(); break;
      case OpKind::Cancel: table_.Cancel(); break;
      case OpKind::Delete: table_.Delete(); break;
      case OpKind::IndexName: table_.SetIndexName(op.text); break;
      case OpKind::IndexFields: table_.SetIndexFieldNames(op.text); break;
      case OpKind::Filter: table_.SetFilter(op.text); break;
      case OpKind::Filtered: table_.SetFiltered(op.n != 0); break;
      case OpKind::FindKey: return yes(table_.FindKey(op.values));
      case OpKind::SaveBookmark: bookmarks_[op.n] = table_.CurrentRowId(); break;
      case OpKind::GotoBookmark:
        return bookmarks_.count(op.n) ? yes(table_.GotoRowId(bookmarks_[op.n])) : "intet bokmerke";
      case OpKind::Refresh: table_.Refresh(); break;
      case OpKind::ReadRows: return readRows(op);
      case OpKind::Reopen:
        table_.Close();
        table_.Open();
        break;
      case OpKind::AddIndex: addIndex(op); break;
      case OpKind::RangeOn: return rangeOn(op);
      case OpKind::RangeOff: table_.SetMasterSource(nullptr); break;
      case OpKind::OtherInsert:
        return onOther([&] {
          other_.Append();
          for (std::size_t i = 0; i < op.values.size(); ++i) {
            if (!ff::isNull(op.values[i])) other_.Fields(static_cast<int>(i)).SetValue(op.values[i]);
          }
          other_.Post();
        });
      case OpKind::OtherEdit:
        if (!other_.MoveToRecNo(op.n)) return "ingen rad";
        return onOther([&] {
          other_.Edit();
          other_.Fields(op.field).SetValue(op.values.at(0));
          other_.Post();
        });
      case OpKind::OtherBulk: return onOther([&] { bulk(op.n); });
      case OpKind::OtherDelete:
        if (!other_.MoveToRecNo(op.n)) return "ingen rad";
        other_.Delete();
        break;
    }
    return "";
  }

  BackEnd backEnd_;
  ff::TffTable master_;
  ff::TDataSource source_;
  ff::TffTable table_;
  ff::TffTable other_;
  std::map<int, ff::RowId> bookmarks_;
};

// Where two aliases first showed something different.
struct Difference {
  std::size_t step = 0;  // 0-based index of the call after which it showed
  std::string label;
  std::vector<std::string> texts;  // per side
};

struct RunSetup {
  std::vector<BackEnd> sides;
  std::string table;
  std::string masterTable;  // empty: no ranges
  bool readOnly = false;
  // Makes the table afresh on a side before a run (empty: the tables stay as they are).
  std::function<void(const BackEnd&)> prepare;
};

class Runner {
 public:
  explicit Runner(RunSetup setup) : setup_(std::move(setup)) {}

  // Plays ops on every side, comparing after each call; counts the calls compared.
  std::optional<Difference> Play(const std::vector<Op>& ops, std::int64_t& compared) const {
    std::vector<std::unique_ptr<Side>> sides;
    for (const auto& backEnd : setup_.sides) {
      if (setup_.prepare) setup_.prepare(backEnd);
      sides.push_back(std::make_unique<Side>(backEnd, setup_.table, setup_.masterTable, setup_.readOnly));
    }
    for (std::size_t step = 0; step < ops.size(); ++step) {
      std::vector<std::vector<Item>> seen;
      for (auto& side : sides) seen.push_back(side->Apply(ops[step]));
      ++compared;
      if (auto d = firstDifference(seen, step)) return d;
    }
    return std::nullopt;
  }

  // The shortest sequence found (within the time given) that still differs the way ops did.
  std::vector<Op> Shrink(std::vector<Op> ops, const Difference& found, std::chrono::seconds budget) const {
    const auto until = std::chrono::steady_clock::now() + budget;
    ops.resize(found.step + 1);
    const auto stillDiffers = [&](const std::vector<Op>& candidate) {
      std::int64_t ignored = 0;
      const auto d = Play(candidate, ignored);
      return d && d->label == found.label;
    };
    std::size_t parts = 2;
    while (ops.size() >= 2 && std::chrono::steady_clock::now() < until) {
      const std::size_t chunk = (ops.size() + parts - 1) / parts;
      bool reduced = false;
      for (std::size_t start = 0; start < ops.size() && !reduced; start += chunk) {
        std::vector<Op> rest(ops.begin(), ops.begin() + static_cast<std::ptrdiff_t>(start));
        rest.insert(rest.end(), ops.begin() + static_cast<std::ptrdiff_t>(std::min(ops.size(), start + chunk)), ops.end());
        if (!rest.empty() && stillDiffers(rest)) {
          ops = std::move(rest);
          parts = std::max<std::size_t>(parts - 1, 2);
          reduced = true;
        }
      }
      if (reduced) continue;
      if (parts >= ops.size()) break;
      parts = std::min(ops.size(), parts * 2);
    }
    return ops;
  }

  // The difference and the calls that lead to it, for a person to replay.
  std::string Report(const std::vector<Op>& ops, const std::vector<ff::FieldDef>& fields) const {
    std::int64_t ignored = 0;
    const auto d = Play(ops, ignored);
    std::string out;
    for (std::size_t i = 0; i < ops.size(); ++i) out += "  " + std::to_string(i + 1) + ". " + Describe(ops[i], fields) + "\n";
    if (!d) return out + "  (forskjellen kom ikke igjen ved ny kjøring)\n";
    out += "  etter kall " + std::to_string(d->step + 1) + " viser " + d->label + ":\n";
    for (std::size_t s = 0; s < d->texts.size(); ++s) out += "    " + setup_.sides[s].label + ": " + d->texts[s] + "\n";
    return out;
  }

  const RunSetup& Setup() const { return setup_; }

 private:
  static std::optional<Difference> firstDifference(const std::vector<std::vector<Item>>& seen, std::size_t step) {
    for (std::size_t i = 0; i < seen[0].size(); ++i) {
      for (std::size_t s = 1; s < seen.size(); ++s) {
        if (seen[s].size() == seen[0].size() && seen[s][i].text == seen[0][i].text) continue;
        Difference d{step, seen[0][i].label, {}};
        for (const auto& side : seen) d.texts.push_back(i < side.size() ? Escaped(side[i].text, side[i].text.size() < 600) : "(mangler)");
        return d;
      }
    }
    return std::nullopt;
  }

  RunSetup setup_;
};

}  // namespace diff
