#include "store/ff2/DataChain.h"

#include <string>

#include "store/ff2/FormatError.h"
#include "store/ff2/LittleEndian.h"

namespace ff::ff2 {

namespace {

void checkDataBlock(const std::vector<std::uint8_t>& block, std::uint32_t n, const FileHeader& header) {
  if (readI32(&block[16]) != header.recordsPerBlock || readI32(&block[20]) != header.recordLength) {
    throw FormatError("datablokk " + std::to_string(n) + " har en annen postoppbygning enn filhodet");
  }
}

std::int64_t countLive(const std::vector<std::uint8_t>& block, const FileHeader& header) {
  std::int64_t live = 0;
  for (int slot = 0; slot < header.recordsPerBlock; ++slot) {
    if (isLiveSlot(&block[slotOffset(header, slot)])) ++live;
  }
  return live;
}

}  // namespace

std::vector<std::uint32_t> walkDataChain(const BlockFile& blocks, const FileHeader& header) {
  std::vector<std::uint32_t> chain;
  std::vector<bool> visited(blocks.usedBlocks(), false);
  std::vector<std::uint8_t> block;
  std::int64_t live = 0;
  for (std::uint32_t n = header.firstDataBlock; n != kNone; n = readU32(&block[24])) {
    if (n < visited.size() && visited[n]) throw FormatError("datablokkene går i ring ved blokk " + std::to_string(n));
    blocks.read(n, BlockKind::Data, block);
    visited[n] = true;
    checkDataBlock(block, n, header);
    live += countLive(block, header);
    chain.push_back(n);
  }
  if (live != header.recordCount) {
    throw FormatError("filhodet teller " + std::to_string(header.recordCount) + " poster, datablokkene har " +
                      std::to_string(live));
  }
  return chain;
}

}  // namespace ff::ff2
