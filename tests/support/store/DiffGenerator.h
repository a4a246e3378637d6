// Random sequences of data-set calls from a seed, for a table of any shape: values of every
// field type (nulls, Norwegian and long text, boundary numbers, dates with milliseconds),
// filters in the filter grammar, orders, ranges, FindKey, bookmarks and a second handle.
#pragma once

#include <cfloat>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "store/Field.h"
#include "store/Schema.h"
#include "support/store/DiffOp.h"
#include "support/store/DiffTolerances.h"

namespace diff {

struct TableShape {
  std::vector<ff::FieldDef> fields;
  std::vector<ff::IndexDef> indexes;
  bool writable = true;   // false: reading calls only (and a rare refused write)
  bool hasMaster = true;  // a master table with NR, NAVN and DATO gives ranges
  std::vector<std::vector<ff::Value>> known;  // per field: values the table holds already
};

class OpGenerator {
 public:
  OpGenerator(const TableShape& shape, std::uint64_t seed)
      : shape_(shape), rng_(seed), history_(shape.fields.size()) {}

  std::vector<Op> Generate(int count) {
    std::vector<Op> ops;
    while (static_cast<int>(ops.size()) < count) addStep(ops);
    ops.resize(static_cast<std::size_t>(count));
    return ops;
  }

 private:
  int below(int n) { return n <= 0 ? 0 : static_cast<int>(rng_() % static_cast<std::uint64_t>(n)); }
  int between(int lo, int hi) { return lo + below(hi - lo + 1); }
  bool chance(int percent) { return below(100) < percent; }
  template <class T>
  const T& pick(const std::vector<T>& items) { return items[static_cast<std::size_t>(below(static_cast<int>(items.size())))]; }

  const ff::FieldDef& def(int i) const { return shape_.fields[static_cast<std::size_t>(i)]; }
  ff::StorageClass storage(int i) const { return ff::storageClassOf(def(i).type); }
  int randomField() { return below(static_cast<int>(shape_.fields.size())); }

  bool inIndex(int i, unsigned option) const {
    for (const auto& ix : shape_.indexes) {
      if (option && !(ix.options & option)) continue;
      for (const auto& f : ix.fields) {
        if (ff::sameName(f, def(i).name)) return true;
      }
    }
    return false;
  }

  // ---- values ----

  std::string word() {
    static const std::vector<std::string> words = {
        "Ærlig", "ærlig", "Øst", "øst", "Åsen", "åsen", "Ål", "Aal", "æøå", "ÆØÅ", "Ø", "alfa", "Alfa",
        "ALFA", "bravo", "Bravo", "DELTA", "Zulu", "zulu", "", " ", "a ", "O'Brien", "50%", "x_y", "sitat «»", "😀",
        "tab\there", "Ä", "é", "AE", "ae", "b1", "B1", "9a"};
    return pick(words);
  }

  std::string text() {
    std::string s = word();
    if (chance(30)) s += pick(std::vector<std::string>{" ", "-", "æ", ""}) + word();
    if (chance(15)) {
      // Longer than 300 characters, sharing a long start with others.
      std::string head = "Lang tekst på norsk: æøå ÆØÅ ";
      while (head.size() < 310) head += " blåbærsyltetøy";
      s = head + s;
    }
    return s;
  }

  std::int64_t integer(int i) {
    if (inIndex(i, ff::ixUnique)) return between(0, 30);
    switch (def(i).type) {
      case ff::FieldType::Boolean: return pick(std::vector<std::int64_t>{0, 1, 1, 0, 2});
      case ff::FieldType::Smallint: return pick(std::vector<std::int64_t>{-32768, 32767, 32768, -1, 0, 5, between(-3, 3)});
      case ff::FieldType::Word: return pick(std::vector<std::int64_t>{0, 65535, 65536, -1, 7, between(0, 5)});
      default:
        return pick(std::vector<std::int64_t>{0, 1, -1, std::numeric_limits<std::int32_t>::min(),
                                              std::numeric_limits<std::int32_t>::max(), 2147483648LL, between(0, 20),
                                              between(0, 20)});
    }
  }

  double day() {
    return ff::encodeDate(pick(std::vector<int>{1, 100, 1899, 1899, 1900, 1970, 2000, 2024, 2024, 9999}),
                          between(1, 12), between(1, 28)) -
           (chance(10) ? 0.5 : 0.0);
  }

  // A time of day with milliseconds, as a fraction of a day.
  double clock() {
    const double ms = between(0, 23) * 3600000.0 + between(0, 59) * 60000.0 + between(0, 59) * 1000.0 + between(0, 999);
    return ms / 86400000.0;
  }

  double real(int i) {
    switch (def(i).type) {
      case ff::FieldType::Date: return day();
      case ff::FieldType::Time: return clock();
      case ff::FieldType::DateTime: return day() + clock();
      default:
        return pick(std::vector<double>{0.0, -0.0, 0.1, 1.5, -2.25, 3.0, 1e308, -1e308, DBL_MIN, 4.9e-324,
                                        9007199254740993.0, 123456789.123456, 1e-10, 922337203685477.5807,
                                        static_cast<double>(between(-5, 5)) / 4});
    }
  }

  std::string bytes() {
    std::string b;
    const int n = chance(20) ? 0 : between(1, 24);
    for (int k = 0; k < n; ++k) b += static_cast<char>(pick(std::vector<int>{0, 0xff, 0x27, 0x5c, 0x25, between(0, 255)}));
    return b;
  }

  ff::Value fresh(int i) {
    if (chance(8)) return {};
    switch (storage(i)) {
      case ff::StorageClass::Text: return text();
      case ff::StorageClass::Bytes: return bytes();
      case ff::StorageClass::Integer: return integer(i);
      case ff::StorageClass::Real: return real(i);
    }
    return {};
  }

  // Values the table holds or that were used before come back often, so that keys, filters
  // and ranges find rows.
  ff::Value value(int i) {
    if (!shape_.known.empty()) {
      const auto& known = shape_.known[static_cast<std::size_t>(i)];
      if (!known.empty() && chance(60)) return pick(known);
    }
    auto& seen = history_[static_cast<std::size_t>(i)];
    if (!seen.empty() && chance(35)) return pick(seen);
    ff::Value v = fresh(i);
    if (seen.size() < 40) seen.push_back(v);
    return v;
  }

  // ---- calls ----

  static Op op(OpKind kind, int n = 0) {
    Op o;
    o.kind = kind;
    o.n = n;
    return o;
  }

  // The text a person would type for v in field i.
  std::string typed(int i, const ff::Value& v) {
    if (ff::isNull(v)) return chance(50) ? "" : " ";
    const ff::FieldType t = def(i).type;
    if (t == ff::FieldType::Date || t == ff::FieldType::Time || t == ff::FieldType::DateTime) {
      return ff::formatDateTime(ff::valueToDouble(v), t);
    }
    if (t == ff::FieldType::Boolean) return pick(std::vector<std::string>{"Ja", "nei", "True", "false", "kanskje"});
    if (storage(i) == ff::StorageClass::Real) return ff::formatNumber(ff::valueToDouble(v), chance(50) ? "" : "#,##0.00");
    return ff::valueToString(v);
  }

  Op set(int i) {
    Op o = op(OpKind::Set);
    o.field = i;
    const ff::Value v = value(i);
    o.values = {v};
    const ff::StorageClass sc = storage(i);
    std::vector<Setter> setters{Setter::Value, Setter::String, Setter::EditText, Setter::Clear};
    if (sc == ff::StorageClass::Integer) setters.insert(setters.end(), {Setter::Integer, Setter::Float, Setter::Boolean});
    if (sc == ff::StorageClass::Real) setters.insert(setters.end(), {Setter::Float, Setter::Float, Setter::Integer});
    o.setter = pick(setters);
    if (o.setter == Setter::Integer) o.values = {ff::Value{ff::valueToInt(v)}};
    if (o.setter == Setter::Float) o.values = {ff::Value{ff::valueToDouble(v)}};
    if (o.setter == Setter::Boolean) o.values = {ff::Value{std::int64_t{ff::valueToInt(v) != 0}}};
    if (o.setter == Setter::String) o.values = {ff::Value{ff::valueToString(v)}};
    if (o.setter == Setter::EditText) o.text = typed(i, v);
    return o;
  }

  void writeGroup(std::vector<Op>& ops) {
    ops.push_back(op(pick(std::vector<OpKind>{OpKind::Append, OpKind::Append, OpKind::Insert, OpKind::Edit, OpKind::Edit})));
    for (int k = between(1, 4); k > 0; --k) ops.push_back(set(randomField()));
    const int end = below(100);
    if (end < 70) ops.push_back(op(OpKind::Post));
    else if (end < 85) ops.push_back(op(OpKind::Cancel));
  }

  std::string fieldNameAsWritten(int i) {
    const std::string& name = def(i).name;
    const int how = below(10);
    if (how == 0) return "[" + name + "]";
    if (how == 1) {
      std::string lower = name;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return lower;
    }
    return name;
  }

  static std::string quotedText(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
  }

  // The first 1 to 3 characters (not bytes) of s.
  std::string prefixOf(const std::string& s) {
    std::size_t end = 0;
    for (int chars = between(0, 3); chars > 0 && end < s.size(); --chars) {
      ++end;
      while (end < s.size() && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) ++end;
    }
    return s.substr(0, end);
  }

  std::string constant(int i, const std::string& op) {
    if (chance(4)) return pick(std::vector<std::string>{"'abc'", "1,5", "True", "'01.13.2000'"});
    const ff::Value v = value(i);
    if (ff::isNull(v) && (op == "=" || op == "<>")) return "NULL";
    const ff::FieldType t = def(i).type;
    switch (storage(i)) {
      case ff::StorageClass::Text: {
        const std::string s = ff::valueToString(v);
        return quotedText(chance(25) ? prefixOf(s) + "*" : s);
      }
      case ff::StorageClass::Bytes: return "NULL";
      default: break;
    }
    if (t == ff::FieldType::Boolean) return pick(std::vector<std::string>{"True", "False", "Ja", "1", "0"});
    if (t == ff::FieldType::Date || t == ff::FieldType::DateTime || t == ff::FieldType::Time) {
      if (chance(20)) return std::to_string(static_cast<long long>(ff::valueToDouble(v)));
      return quotedText(ff::formatDateTime(ff::valueToDouble(v), t));
    }
    std::string number = ff::valueToString(ff::isNull(v) ? ff::Value{std::int64_t{0}} : v);
    if (chance(30)) {
      for (char& c : number) c = c == '.' ? ',' : c;
    }
    return number;
  }

  std::string comparison() {
    const int i = randomField();
    std::string op = pick(std::vector<std::string>{"=", "=", "<>", "<", ">", "<=", ">="});
    if (storage(i) == ff::StorageClass::Bytes) op = chance(50) ? "=" : "<>";
    const std::string c = constant(i, op);
    if (c == "NULL" && op != "=" && op != "<>") op = "=";
    const std::string name = fieldNameAsWritten(i);
    if (chance(10)) return c + " " + op + " " + name;  // the field on the right
    return name + op + c;
  }

  std::string filter() {
    if (chance(5)) {
      return pick(std::vector<std::string>{"NR=", "(NR=1", "UKJENT=1", "NAVN='abc", "NR=1 AND", "1=1", "NR>NULL"});
    }
    std::string f = comparison();
    for (int k = below(3); k > 0; --k) {
      std::string next = comparison();
      if (chance(15)) next = "NOT " + next;
      f = (chance(20) ? "(" + f + ")" : f) + (chance(50) ? " AND " : " OR ") + next;
    }
    return chance(10) ? "NOT (" + f + ")" : f;
  }

  std::vector<const ff::IndexDef*> usableIndexes() const {
    std::vector<const ff::IndexDef*> out;
    for (const auto* list : {&shape_.indexes, &added_}) {
      for (const auto& ix : *list) {
        out.push_back(&ix);
      }
    }
    return out;
  }

  Op addIndex() {
    Op o = op(OpKind::AddIndex);
    ff::IndexDef ix;
    ix.name = chance(5) ? "NAVN" : "IX" + std::to_string(added_.size() + 1);
    for (int k = between(1, 2); k > 0; --k) {
      const int i = randomField();
      ix.fields.push_back(def(i).name);
    }
    if (chance(20)) ix.options |= ff::ixUnique;
    if (chance(30)) ix.options |= ff::ixDescending;
    if (chance(30)) ix.options |= ff::ixCaseInsensitive;
    o.text = ix.name + "=" + ff::joinFieldList(ix.fields);
    o.n = static_cast<int>(ix.options);
    if (ix.name != "NAVN") added_.push_back(ix);
    return o;
  }

  void order(std::vector<Op>& ops) {
    if (chance(65)) {
      Op o = op(OpKind::IndexName);
      const auto indexes = usableIndexes();
      const int how = below(10);
      if (how == 0 || indexes.empty()) {
        orderFields_.clear();
      } else if (how == 1) {
        o.text = "UKJENT";
      } else {
        const ff::IndexDef& ix = *pick(indexes);
        o.text = ix.name;
        orderFields_.clear();
        for (const auto& f : ix.fields) orderFields_.push_back(ff::physicalFieldIndex(shape_.fields, f));
      }
      ops.push_back(o);
      return;
    }
    Op o = op(OpKind::IndexFields);
    orderFields_.clear();
    for (int k = between(1, 2); k > 0; --k) {
      const int i = randomField();
      o.text += (o.text.empty() ? "" : ";") + fieldNameAsWritten(i);
      orderFields_.push_back(i);
    }
    if (chance(5)) o.text += ";UKJENT";
    ops.push_back(o);
  }

  Op findKey() {
    Op o = op(OpKind::FindKey);
    const int k = orderFields_.empty() ? 1 : between(1, static_cast<int>(orderFields_.size()) + (chance(5) ? 1 : 0));
    for (int j = 0; j < k; ++j) {
      const int i = static_cast<std::size_t>(j) < orderFields_.size() ? orderFields_[static_cast<std::size_t>(j)] : randomField();
      ff::Value v = value(i);
      if (chance(10) && !ff::isNull(v)) v = ff::Value{ff::valueToString(v)};
      o.values.push_back(v);
    }
    return o;
  }

  Op otherInsert() {
    Op o = op(OpKind::OtherInsert);
    for (int i = 0; i < static_cast<int>(shape_.fields.size()); ++i) o.values.push_back(value(i));
    return o;
  }

  Op otherEdit() {
    Op o = op(OpKind::OtherEdit, between(0, 25));
    o.field = randomField();
    o.values = {value(o.field)};
    return o;
  }

  void addStep(std::vector<Op>& ops) {
    const int r = below(shape_.writable ? 100 : 62);
    // Reading calls: 0-61.
    if (r < 12) return ops.push_back(op(OpKind::Next));
    if (r < 17) return ops.push_back(op(OpKind::Prior));
    if (r < 21) return ops.push_back(op(OpKind::First));
    if (r < 24) return ops.push_back(op(OpKind::Last));
    if (r < 29) return ops.push_back(op(OpKind::MoveBy, between(-8, 8)));
    if (r < 32) return ops.push_back(op(OpKind::MoveToRecNo, between(-1, 30)));
    if (r < 38) return order(ops);
    if (r < 42) {
      Op o = op(OpKind::Filter);
      o.text = filter();
      return ops.push_back(o);
    }
    if (r < 45) return ops.push_back(op(OpKind::Filtered, below(3) ? 1 : 0));
    if (r < 51) return ops.push_back(findKey());
    if (r < 53) return ops.push_back(op(OpKind::SaveBookmark, below(3)));
    if (r < 56) return ops.push_back(op(OpKind::GotoBookmark, below(3)));
    if (r < 57) return ops.push_back(op(OpKind::Refresh));
    if (r < 60) {
      Op o = op(OpKind::ReadRows, chance(85) ? between(-1, 30) : between(500, 1300));
      o.field = between(0, 5);
      return ops.push_back(o);
    }
    if (r < 61) return ops.push_back(op(OpKind::Reopen));
    if (r < 62) {
      if (shape_.writable || chance(90)) return ops.push_back(op(OpKind::Next));
      return ops.push_back(op(pick(std::vector<OpKind>{OpKind::Append, OpKind::Edit, OpKind::Delete})));
    }
    // Writing calls: 62-99.
    if (r < 77) return writeGroup(ops);
    if (r < 80) return ops.push_back(op(OpKind::Delete));
    if (r < 82) return ops.push_back(set(randomField()));
    if (r < 83) return ops.push_back(op(OpKind::Post));
    if (r < 84) return ops.push_back(op(OpKind::Cancel));
    if (r < 88 && shape_.hasMaster) {
      Op o = op(OpKind::RangeOn, between(0, 5));
      o.text = pick(std::vector<std::string>{"NR", "NAVN", "DATO", "NR;NAVN"});
      return ops.push_back(o);
    }
    if (r < 90 && shape_.hasMaster) return ops.push_back(op(OpKind::RangeOff));
    if (r < 91 && !bulkDone_ && chance(25)) {
      bulkDone_ = true;  // once a sequence: a few hundred rows are slow to write
      return ops.push_back(op(OpKind::OtherBulk, between(520, 1100)));
    }
    if (r < 92 && chance(50)) return ops.push_back(addIndex());
    if (r < 94) return ops.push_back(otherInsert());
    if (r < 97) return ops.push_back(otherEdit());
    return ops.push_back(op(OpKind::OtherDelete, between(0, 25)));
  }

  const TableShape& shape_;
  std::mt19937_64 rng_;
  std::vector<std::vector<ff::Value>> history_;
  std::vector<int> orderFields_;
  bool bulkDone_ = false;
  std::vector<ff::IndexDef> added_;  // indexes the calls add
};

}  // namespace diff
