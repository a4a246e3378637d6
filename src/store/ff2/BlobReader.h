// Reassembles BLOBs from their header, lookup and content segments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "store/ff2/BlockFile.h"

namespace ff::ff2 {

class BlobReader {
 public:
  // REQUIRES: blocks outlives the reader.
  explicit BlobReader(const BlockFile& blocks) : blocks_(blocks) {}

  // Replaces `out` with the bytes of BLOB `number` (the file offset of its header segment).
  // The "no BLOB" numbers (0, or a low half of all ones) give no bytes.
  // Throws FormatError for a damaged or deleted BLOB, and for one whose content lives outside
  // this table (an external file or a link to another table).
  void read(std::uint64_t number, std::string& out);

 private:
  struct Segment {
    const std::uint8_t* bytes;  // valid until the next segment is fetched
    std::size_t length;
  };

  Segment segmentAt(std::uint64_t offset, std::uint8_t signature, std::uint64_t blob);
  const std::uint8_t* blockHolding(std::uint64_t offset);
  void appendContent(const std::uint8_t* entry, std::uint64_t blob, std::size_t wanted, std::string& out);

  const BlockFile& blocks_;
  std::vector<std::uint8_t> block_;
  std::optional<std::uint32_t> cachedBlock_;  // the block in block_, when one is
  std::vector<std::uint8_t> lookup_;
  std::unordered_set<std::uint64_t> visitedLookups_;
};

}  // namespace ff::ff2
