// The blocks of one file, each read whole and checked for its kind and its own number.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "store/ff2/ByteSource.h"

namespace ff::ff2 {

enum class BlockKind : std::uint32_t {
  Data = 0x48444646,    // "FFDH"
  Blob = 0x48424646,    // "FFBH"
  Stream = 0x48534646,  // "FFSH"
};

class BlockFile {
 public:
  // REQUIRES: blockSize == 1 << log2BlockSize; usedBlocks blocks fit in source.
  BlockFile(ByteSource& source, std::uint32_t log2BlockSize, std::uint32_t usedBlocks)
      : source_(&source), log2_(log2BlockSize), usedBlocks_(usedBlocks) {}

  std::uint32_t blockSize() const { return 1u << log2_; }
  std::uint32_t log2BlockSize() const { return log2_; }
  std::uint32_t usedBlocks() const { return usedBlocks_; }
  ByteSource& source() const { return *source_; }

  // Reads block n into `into` (resized to the block size).
  // Throws FormatError when n is 0 or past the blocks in use, the block is not of `kind`,
  // or it names another number as its own.
  void read(std::uint32_t n, BlockKind kind, std::vector<std::uint8_t>& into) const;

 private:
  ByteSource* source_;
  std::uint32_t log2_;
  std::uint32_t usedBlocks_;
};

}  // namespace ff::ff2
