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

}  // namespace

int liveSlotsBefore(const std::vector<std::uint8_t>& block, const FileHeader& header, int slot) {
  int live = 0;
  for (int s = 0; s < slot && s < header.recordsPerBlock; ++s) {
    if (isLiveSlot(&block[slotOffset(header, s)])) ++live;
  }
  return live;
}

int nthLiveSlot(const std::vector<std::uint8_t>& block, const FileHeader& header, std::int64_t before) {
  for (int slot = 0; slot < header.recordsPerBlock; ++slot) {
    if (isLiveSlot(&block[slotOffset(header, slot)]) && before-- == 0) return slot;
  }
  return header.recordsPerBlock;
}

DataChain walkDataChain(const BlockFile& blocks, const FileHeader& header) {
  DataChain chain;
  std::vector<bool> visited(blocks.usedBlocks(), false);
  std::vector<std::uint8_t> block;
  std::int64_t live = 0;
  for (std::uint32_t n = header.firstDataBlock; n != kNone; n = readU32(&block[24])) {
    if (n < visited.size() && visited[n]) throw FormatError("datablokkene går i ring ved blokk " + std::to_string(n));
    blocks.read(n, BlockKind::Data, block);
    visited[n] = true;
    checkDataBlock(block, n, header);
    chain.blocks.push_back(n);
    chain.liveBefore.push_back(live);
    live += liveSlotsBefore(block, header, header.recordsPerBlock);
  }
  if (live != header.recordCount) {
    throw FormatError("filhodet teller " + std::to_string(header.recordCount) + " poster, datablokkene har " +
                      std::to_string(live));
  }
  return chain;
}

}  // namespace ff::ff2
