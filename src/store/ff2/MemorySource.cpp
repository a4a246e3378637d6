#include "store/ff2/MemorySource.h"

#include <cstring>

namespace ff::ff2 {

void MemorySource::readInRange(std::uint64_t offset, std::uint8_t* dst, std::size_t n) {
  if (n > 0) std::memcpy(dst, bytes_.data() + offset, n);
}

}  // namespace ff::ff2
