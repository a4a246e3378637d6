#include "store/NorwegianOrder.h"

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <memory>

#include "store/Errors.h"

namespace ff {

namespace {

struct CollatorClose {
  void operator()(UCollator* c) const { ucol_close(c); }
};
using CollatorPtr = std::unique_ptr<UCollator, CollatorClose>;

CollatorPtr openCollator() {
  UErrorCode status = U_ZERO_ERROR;
  CollatorPtr collator(ucol_open("nb", &status));
  if (U_FAILURE(status)) throw Error(std::string("Finner ikke norsk sortering (ICU): ") + u_errorName(status));
  ucol_setStrength(collator.get(), UCOL_SECONDARY);
  return collator;
}

// A collator is not for use by two threads at once; each thread keeps its own.
const UCollator* collator() {
  thread_local const CollatorPtr mine = openCollator();
  return mine.get();
}

std::u16string toUtf16(std::string_view utf8) {
  std::u16string out(utf8.size(), u'\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, utf8.data(),
                       static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) throw Error(std::string("Teksten kan ikke sorteres: ") + u_errorName(status));
  out.resize(static_cast<std::size_t>(length));
  return out;
}

std::string hex(const std::vector<uint8_t>& bytes, std::size_t count) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0xF];
  }
  return out;
}

bool isText(const FieldDef& field) { return storageClassOf(field.type) == StorageClass::Text; }

}  // namespace

std::string NorwegianSortKey(std::string_view utf8) {
  const std::u16string text = toUtf16(utf8);
  std::vector<uint8_t> key(text.size() * 4 + 16);
  for (;;) {
    const int32_t needed = ucol_getSortKey(collator(), text.data(), static_cast<int32_t>(text.size()), key.data(),
                                           static_cast<int32_t>(key.size()));
    if (needed <= static_cast<int32_t>(key.size())) {
      return hex(key, static_cast<std::size_t>(std::max(needed - 1, 0)));  // without its closing 0
    }
    key.resize(static_cast<std::size_t>(needed));
  }
}

Value NorwegianSortKeyOf(const Value& text) {
  if (isNull(text)) return {};
  return NorwegianSortKey(valueToString(text));
}

bool OrdersBySortKey(const IndexDef& index, const std::vector<FieldDef>& fields) {
  if (!(index.options & ixCaseInsensitive)) return false;
  return std::any_of(index.fields.begin(), index.fields.end(), [&](const std::string& name) {
    const int i = physicalFieldIndex(fields, name);
    return i >= 0 && isText(fields[static_cast<std::size_t>(i)]);
  });
}

unsigned StoredIndexOptions(const IndexDef& index, const std::vector<FieldDef>& fields) {
  return index.options | (OrdersBySortKey(index, fields) ? kSortKeyedIndex : 0u);
}

std::vector<int> SortKeyFields(const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes) {
  std::vector<int> keyed;
  for (const IndexDef& index : indexes) {
    if (!(index.options & ixCaseInsensitive)) continue;
    for (const auto& name : index.fields) {
      const int i = physicalFieldIndex(fields, name);
      if (i >= 0 && isText(fields[static_cast<std::size_t>(i)])) keyed.push_back(i);
    }
  }
  std::sort(keyed.begin(), keyed.end());
  keyed.erase(std::unique(keyed.begin(), keyed.end()), keyed.end());
  return keyed;
}

void AppendSortKeys(const std::vector<Value>& values, const std::vector<int>& keyFields, std::vector<Value>& out) {
  for (int f : keyFields) {
    const auto i = static_cast<std::size_t>(f);
    out.push_back(i < values.size() ? NorwegianSortKeyOf(values[i]) : Value{});
  }
}

}  // namespace ff
