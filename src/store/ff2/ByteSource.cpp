#include "store/ff2/ByteSource.h"

#include <string>

#include "store/ff2/FormatError.h"

namespace ff::ff2 {

void ByteSource::read(std::uint64_t offset, std::uint8_t* dst, std::size_t n) {
  const std::uint64_t total = size();
  if (offset > total || n > total - offset) {
    throw FormatError("henvisning forbi slutten av filen (byte " + std::to_string(offset) +
                      ", " + std::to_string(n) + " byte, filen har " + std::to_string(total) + ")");
  }
  readInRange(offset, dst, n);
}

}  // namespace ff::ff2
