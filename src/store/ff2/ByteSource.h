// Random-access bytes of one table file (a file on disk or a buffer in memory).
#pragma once

#include <cstddef>
#include <cstdint>

namespace ff::ff2 {

class ByteSource {
 public:
  virtual ~ByteSource() = default;

  // Total number of bytes.
  virtual std::uint64_t size() const = 0;

  // Copies n bytes starting at offset into dst.
  // Throws FormatError when the range reaches past the end (never reads outside the source).
  void read(std::uint64_t offset, std::uint8_t* dst, std::size_t n);

 protected:
  // REQUIRES: offset + n <= size().
  virtual void readInRange(std::uint64_t offset, std::uint8_t* dst, std::size_t n) = 0;
};

}  // namespace ff::ff2
