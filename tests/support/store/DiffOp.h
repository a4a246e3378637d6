// One call (or a short fixed group of calls) of the data-set API in a differential run, and how
// values and calls are written when a run is replayed for a person.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "store/Schema.h"
#include "store/Value.h"

namespace diff {

enum class OpKind {
  First, Last, Next, Prior, MoveBy, MoveToRecNo,
  Append, Insert, Edit, Set, Post, Cancel, Delete,
  IndexName, IndexFields, Filter, Filtered, FindKey,
  SaveBookmark, GotoBookmark, Refresh, ReadRows, Reopen,
  // Reopens the table exclusively, adds the index "NAME=F1;F2" with options n, reopens shared.
  AddIndex,
  RangeOn, RangeOff,
  // The second handle on the same table: a whole insert, an edit of one field or a delete of
  // the row at a position of its own order (the row ids).
  OtherInsert, OtherEdit, OtherDelete,
  // The second handle appends n rows of a fixed pattern (see Side), so that grids read far.
  OtherBulk,
};

// How Set writes its value.
enum class Setter { Value, Integer, Float, String, EditText, Boolean, Clear };

struct Op {
  OpKind kind = OpKind::First;
  int n = 0;      // rows to move, position, bookmark slot, count
  int field = 0;  // Set and OtherEdit: the field
  Setter setter = Setter::Value;
  std::string text;               // index, field list, filter, edit text, master fields
  std::vector<ff::Value> values;  // Set and OtherEdit: one; FindKey: the keys; OtherInsert: a row
};

// The length of the well-formed UTF-8 sequence of two to four bytes at s[i], or 0.
inline std::size_t Utf8SequenceAt(const std::string& s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char lead = byte(i);
  const std::size_t n = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  return n;
}

// Control bytes and bytes that are no UTF-8 as \xNN, so that every difference can be seen and
// the output stays text; long text is shown by its start, length and end unless `whole`.
inline std::string Escaped(const std::string& s, bool whole = false) {
  if (!whole && s.size() > 90) {
    return Escaped(s.substr(0, 40), true) + "…[" + std::to_string(s.size()) + " byte]…" +
           Escaped(s.substr(s.size() - 20), true);
  }
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c < 0x7f && c != '\\' && c != '"') {
      out += static_cast<char>(c);
      ++i;
    } else if (const std::size_t n = c >= 0x80 ? Utf8SequenceAt(s, i) : 0) {
      out += s.substr(i, n);
      i += n;
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
      ++i;
    }
  }
  return out;
}

// The value with its kind; doubles in hexadecimal, so that -0.0 and the last bit show.
inline std::string RenderValue(const ff::Value& v, bool whole = true) {
  if (ff::isNull(v)) return "null";
  if (const auto* i = std::get_if<std::int64_t>(&v)) return "int " + std::to_string(*i);
  if (const auto* d = std::get_if<double>(&v)) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "double %.17g (%a)", *d, *d);
    return buf;
  }
  if (const auto* c = std::get_if<ff::ScaledCurrency>(&v)) return "currency " + ff::currencyText(c->tenThousandths);
  return "text \"" + Escaped(std::get<std::string>(v), whole) + "\"";
}

inline std::string RenderValues(const std::vector<ff::Value>& values) {
  std::string out;
  for (const auto& v : values) out += (out.empty() ? "" : ", ") + RenderValue(v, false);
  return "{" + out + "}";
}

inline const char* SetterName(Setter s) {
  switch (s) {
    case Setter::Value: return "SetValue";
    case Setter::Integer: return "SetAsInteger";
    case Setter::Float: return "SetAsFloat";
    case Setter::String: return "SetAsString";
    case Setter::EditText: return "SetEditText";
    case Setter::Boolean: return "SetAsBoolean";
    case Setter::Clear: return "Clear";
  }
  return "?";
}

// The call as C++-like text, with field names from fields.
inline std::string Describe(const Op& op, const std::vector<ff::FieldDef>& fields) {
  const auto fieldName = [&](int i) {
    return i >= 0 && static_cast<std::size_t>(i) < fields.size() ? fields[static_cast<std::size_t>(i)].name : "?";
  };
  const std::string n = std::to_string(op.n);
  const std::string quoted = "\"" + Escaped(op.text) + "\"";
  switch (op.kind) {
    case OpKind::First: return "First()";
    case OpKind::Last: return "Last()";
    case OpKind::Next: return "Next()";
    case OpKind::Prior: return "Prior()";
    case OpKind::MoveBy: return "MoveBy(" + n + ")";
    case OpKind::MoveToRecNo: return "MoveToRecNo(" + n + ")";
    case OpKind::Append: return "Append()";
    case OpKind::Insert: return "Insert()";
    case OpKind::Edit: return "Edit()";
    case OpKind::Set: {
      const std::string arg = op.setter == Setter::Clear      ? ""
                              : op.setter == Setter::EditText ? quoted
                                                              : RenderValue(op.values.at(0), false);
      return "FieldByName(\"" + fieldName(op.field) + "\")." + SetterName(op.setter) + "(" + arg + ")";
    }
    case OpKind::Post: return "Post()";
    case OpKind::Cancel: return "Cancel()";
    case OpKind::Delete: return "Delete()";
    case OpKind::IndexName: return "SetIndexName(" + quoted + ")";
    case OpKind::IndexFields: return "SetIndexFieldNames(" + quoted + ")";
    case OpKind::Filter: return "SetFilter(" + quoted + ")";
    case OpKind::Filtered: return std::string("SetFiltered(") + (op.n ? "true" : "false") + ")";
    case OpKind::FindKey: return "FindKey(" + RenderValues(op.values) + ")";
    case OpKind::SaveBookmark: return "bokmerke[" + n + "] = CurrentRowId()";
    case OpKind::GotoBookmark: return "GotoRowId(bokmerke[" + n + "])";
    case OpKind::Refresh: return "Refresh()";
    case OpKind::ReadRows: return "ReadRows(" + n + ", " + std::to_string(op.field) + ")";
    case OpKind::Reopen: return "Close(); Open()";
    case OpKind::AddIndex: {
      const auto eq = op.text.find('=');
      return "eksklusivt: AddIndex(\"" + Escaped(op.text.substr(0, eq)) + "\", \"" + Escaped(op.text.substr(eq + 1)) +
             "\", " + n + "); delt igjen";
    }
    case OpKind::RangeOn: return "master: SetMasterFields(" + quoted + "), master.MoveToRecNo(" + n + ")";
    case OpKind::RangeOff: return "SetMasterSource(nullptr)";
    case OpKind::OtherInsert: return "andre handle: Append(); " + RenderValues(op.values) + "; Post()";
    case OpKind::OtherEdit:
      return "andre handle: MoveToRecNo(" + n + "); Edit(); " + fieldName(op.field) + " = " +
             RenderValue(op.values.at(0), false) + "; Post()";
    case OpKind::OtherDelete: return "andre handle: MoveToRecNo(" + n + "); Delete()";
    case OpKind::OtherBulk: return "andre handle: " + n + " rader, rad k med NAVN \"masse <k % 97>\", PRIS (k % 41) / 4, DATO 1.1.2000 + k % 60";
  }
  return "?";
}

}  // namespace diff
