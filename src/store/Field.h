// A field of a data set: typed access to the current row's value, display texts, OnChange.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "store/FieldDecl.h"
#include "store/Value.h"

namespace ff {

class TffTable;

class TField {
 public:
  TField(TffTable& table, FieldDecl decl, int index);
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  const std::string& FieldName() const { return decl_.name; }
  FieldType DataType() const { return decl_.type; }
  // Size as the physical table declares it: characters for strings, 0 for fixed-size types.
  int Size() const { return decl_.size; }
  bool Required() const { return decl_.required; }
  FieldKind Kind() const { return decl_.kind; }
  bool Calculated() const { return decl_.kind == FieldKind::Calculated; }
  // Position in the data set's field list.
  int Index() const { return index_; }
  TffTable& DataSet() const { return table_; }
  const FieldDecl& Decl() const { return decl_; }

  // Display attributes; may be changed at any time.
  std::string DisplayLabel() const { return decl_.label.empty() ? decl_.name : decl_.label; }
  void SetDisplayLabel(const std::string& s) { decl_.label = s; }
  const std::string& DisplayValues() const { return decl_.displayValues; }
  void SetDisplayValues(const std::string& s) { decl_.displayValues = s; }
  const std::string& DisplayFormat() const { return decl_.displayFormat; }
  void SetDisplayFormat(const std::string& s) { decl_.displayFormat = s; }
  const std::string& EditFormat() const { return decl_.editFormat; }
  const std::string& EditMask() const { return decl_.editMask; }
  const std::string& DefaultExpression() const { return decl_.defaultExpression; }
  bool Currency() const { return decl_.currency; }
  bool Visible() const { return decl_.visible; }
  void SetVisible(bool v);

  // Reads the current row's value. Null reads as 0, false or "".
  bool IsNull() const;
  Value AsValue() const;
  double AsFloat() const;
  std::int64_t AsInteger() const;
  bool AsBoolean() const;
  std::string AsString() const;
  double AsDateTime() const { return AsFloat(); }

  // Writes the current row's value.
  // REQUIRES: the data set is editing or inserting (or computing calculated fields);
  // otherwise throws ENotEditing. Throws EReadOnly on a read-only data set.
  // Text longer than a string field's size is cut to it. Fires OnChange after every write.
  void SetValue(const Value& v);
  void SetAsFloat(double v) { SetValue(Value{v}); }
  void SetAsInteger(std::int64_t v);
  void SetAsBoolean(bool v) { SetValue(Value{std::int64_t{v ? 1 : 0}}); }
  void SetAsString(const std::string& s);
  void SetAsDateTime(double v) { SetValue(Value{v}); }
  void Clear() { SetValue(Value{}); }

  // The text shown in a grid: DisplayValues for booleans, DisplayFormat for numbers,
  // dd.mm.yyyy (and hh:mm:ss) for dates, decimal comma for floats.
  std::string DisplayText() const { return DisplayTextOf(AsValue()); }
  std::string Text() const { return DisplayText(); }
  // The text this field shows for a stored value of any row (grids show rows that are not
  // current so). Binary values show as their type in parentheses, "(Graphic)".
  std::string DisplayTextOf(const Value& v) const;
  // The text offered for editing (EditFormat, else the plain value).
  std::string EditText() const;
  // Parses text as a user typed it (decimal comma or point, DisplayValues, dd.mm.yyyy).
  // Throws Error when the text is not a value of the field's type.
  void SetEditText(const std::string& text);
  void SetText(const std::string& text) { SetEditText(text); }

  std::function<void(TField&)> OnChange;

 private:
  Value coerce(const Value& v) const;
  // The number v holds; throws Error for NaN and infinity, which no back end can store alike.
  double finiteNumber(const Value& v) const;

  TffTable& table_;
  FieldDecl decl_;
  int index_;
};

// Formats a number after a Delphi-style format mask ("0.00", "#,##0.00", "0") with a decimal
// comma and a blank as thousands separator; an empty mask prints the shortest exact form.
std::string formatNumber(double v, const std::string& mask);
// Days since 30 December 1899 <-> calendar. Dates print as dd.mm.yyyy, times as hh:mm:ss.
std::string formatDateTime(double v, FieldType t);
// Parses "dd.mm.yyyy", "dd.mm.yy" (two-digit year: the hundred years starting fifty years
// before the current year) and an optional " hh:mm[:ss]"; false when the text is no date.
bool parseDateTime(const std::string& text, double& out);
double encodeDate(int year, int month, int day);
void decodeDate(double v, int& year, int& month, int& day);

}  // namespace ff
