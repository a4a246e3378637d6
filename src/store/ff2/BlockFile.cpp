#include "store/ff2/BlockFile.h"

#include <string>

#include "store/ff2/FormatError.h"
#include "store/ff2/LittleEndian.h"

namespace ff::ff2 {

namespace {

const char* kindName(BlockKind kind) {
  switch (kind) {
    case BlockKind::Data: return "data";
    case BlockKind::Blob: return "BLOB";
    case BlockKind::Stream: return "stream";
  }
  return "unknown";
}

}  // namespace

void BlockFile::read(std::uint32_t n, BlockKind kind, std::vector<std::uint8_t>& into) const {
  const auto fail = [n](const std::string& what) {
    throw FormatError("block " + std::to_string(n) + " " + what);
  };
  if (n == 0 || n >= usedBlocks_) fail("lies outside the " + std::to_string(usedBlocks_) + " blocks in use");
  into.resize(blockSize());
  source_->read(static_cast<std::uint64_t>(n) << log2_, into.data(), into.size());
  if (readU32(into.data()) != static_cast<std::uint32_t>(kind)) {
    fail(std::string("is not a ") + kindName(kind) + " block");
  }
  const std::uint32_t claimed = readU32(into.data() + 8);
  if (claimed != n) fail("claims to be block " + std::to_string(claimed));
}

}  // namespace ff::ff2
