#include "store/Schema.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "text/Utf8Text.h"

namespace ff {

namespace {

std::string trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

}  // namespace

std::vector<std::string> splitFieldList(const std::string& list) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= list.size()) {
    const auto end = list.find(';', start);
    const std::string part = trim(list.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (!part.empty()) out.push_back(part);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

std::string joinFieldList(const std::vector<std::string>& fields) {
  std::string out;
  for (const auto& f : fields) {
    if (!out.empty()) out += ';';
    out += f;
  }
  return out;
}

bool sameNameOfEqualLength(const std::string& a, const std::string& b) {
  if (a.empty()) return true;
  // Most names of one length differ at once: a call to strncasecmp costs more than that.
  if (AsciiUpper(a[0]) != AsciiUpper(b[0]) || strncasecmp(a.data(), b.data(), a.size()) != 0) return false;
  // strncasecmp stops at a NUL: a name holding one is compared to its end.
  if (std::memchr(a.data(), '\0', a.size()) == nullptr) return true;
  return std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

int physicalFieldIndex(const std::vector<FieldDef>& defs, const std::string& name) {
  for (std::size_t i = 0; i < defs.size(); ++i) {
    if (sameName(defs[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace ff
