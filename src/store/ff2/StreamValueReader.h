// Reads the tagged values of a Delphi component stream (the encoding of the data dictionary).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ff::ff2 {

class StreamValueReader {
 public:
  explicit StreamValueReader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

  // An integer in any of the three widths. Throws FormatError on another tag or at the end.
  std::int32_t readInt();
  // A True/False value. Throws FormatError on another tag or at the end.
  bool readBool();
  // A string in any of the four string encodings, as UTF-8 (ANSI text read as Windows-1252).
  // Throws FormatError on another tag, at the end or on a length past the end.
  std::string readString();
  // True when the next value is a string (without consuming it).
  bool nextIsString() const;
  // Skips n untagged bytes. Throws FormatError when fewer remain.
  void skipRaw(std::size_t n);

 private:
  std::uint8_t takeTag();
  const std::uint8_t* take(std::size_t n);
  [[noreturn]] void unexpectedTag(std::uint8_t tag, const char* wanted) const;

  const std::vector<std::uint8_t>& bytes_;
  std::size_t pos_ = 0;
};

}  // namespace ff::ff2
