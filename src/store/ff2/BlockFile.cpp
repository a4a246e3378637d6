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
    case BlockKind::Stream: return "strøm";
  }
  return "ukjent";
}

}  // namespace

void BlockFile::read(std::uint32_t n, BlockKind kind, std::vector<std::uint8_t>& into) const {
  const auto fail = [n](const std::string& what) {
    throw FormatError("blokk " + std::to_string(n) + " " + what);
  };
  if (n == 0 || n >= usedBlocks_) fail("ligger utenfor de " + std::to_string(usedBlocks_) + " blokkene i bruk");
  into.resize(blockSize());
  source_->read(static_cast<std::uint64_t>(n) << log2_, into.data(), into.size());
  if (readU32(into.data()) != static_cast<std::uint32_t>(kind)) {
    fail(std::string("er ikke en ") + kindName(kind) + "-blokk");
  }
  const std::uint32_t claimed = readU32(into.data() + 8);
  if (claimed != n) fail("sier den er blokk " + std::to_string(claimed));
}

}  // namespace ff::ff2
