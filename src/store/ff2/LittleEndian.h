// Unaligned little-endian reads: the table file is an x86 memory image with fields at any offset.
#pragma once

#include <cstdint>
#include <cstring>

namespace ff::ff2 {

inline std::uint16_t readU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t readU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint64_t readU64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(readU32(p)) | (static_cast<std::uint64_t>(readU32(p + 4)) << 32);
}

inline std::int16_t readI16(const std::uint8_t* p) { return static_cast<std::int16_t>(readU16(p)); }
inline std::int32_t readI32(const std::uint8_t* p) { return static_cast<std::int32_t>(readU32(p)); }
inline std::int64_t readI64(const std::uint8_t* p) { return static_cast<std::int64_t>(readU64(p)); }

inline float readF32(const std::uint8_t* p) {
  const std::uint32_t bits = readU32(p);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

inline double readF64(const std::uint8_t* p) {
  const std::uint64_t bits = readU64(p);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// The 32-bit "no block / end of chain" marker.
inline constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// 64-bit offsets mean "none" when their low half is the marker; the high half may be filler.
inline bool isNoneOffset(std::uint64_t offset) {
  return static_cast<std::uint32_t>(offset) == kNone;
}

}  // namespace ff::ff2
