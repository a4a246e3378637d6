// The chain of data blocks that holds the table's record slots.
#pragma once

#include <cstdint>
#include <vector>

#include "store/ff2/BlockFile.h"
#include "store/ff2/FileHeader.h"

namespace ff::ff2 {

inline constexpr std::uint32_t kDataBlockHeader = 32;

// Offset of slot `slot` inside its data block.
inline std::uint32_t slotOffset(const FileHeader& header, int slot) {
  return kDataBlockHeader + static_cast<std::uint32_t>(slot) * static_cast<std::uint32_t>(header.slotLength);
}

// A slot holds a record exactly when its leading flag byte is 0.
inline bool isLiveSlot(const std::uint8_t* slot) { return slot[0] == 0; }

// The live slot of a loaded data block that has `before` live slots ahead of it; the header's
// recordsPerBlock when the block holds no such slot.
int nthLiveSlot(const std::vector<std::uint8_t>& block, const FileHeader& header, std::int64_t before);

// Live slots of a loaded data block ahead of slot `slot`.
int liveSlotsBefore(const std::vector<std::uint8_t>& block, const FileHeader& header, int slot);

struct DataChain {
  std::vector<std::uint32_t> blocks;     // block numbers in chain order
  std::vector<std::int64_t> liveBefore;  // live records in the blocks ahead of each
};

// Follows the chain from the header's first data block. Checks every block (kind, own
// number, slot count and record length), stops on loops, and compares the live slots found
// with the header's record count. Throws FormatError naming what is wrong.
DataChain walkDataChain(const BlockFile& blocks, const FileHeader& header);

}  // namespace ff::ff2
