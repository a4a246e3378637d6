// Block 0 of a table (or BLOB) file: geometry, record layout and where things start.
#pragma once

#include <cstdint>

#include "store/ff2/ByteSource.h"

namespace ff::ff2 {

struct FileHeader {
  std::uint32_t blockSize = 0;
  std::uint32_t log2BlockSize = 0;
  std::uint32_t usedBlocks = 0;
  std::int32_t recordCount = 0;  // live records
  std::int32_t recordLength = 0;  // record without its flag byte
  std::int32_t slotLength = 0;
  std::int32_t recordsPerBlock = 0;
  std::uint32_t firstDataBlock = 0;  // kNone when the table never had a record
  std::int32_t fieldCount = 0;
  std::uint32_t dataDictBlock = 0;
  std::int32_t version = 0;  // major*10000 + minor*100 + patch; may be unset filler
};

// Reads and checks block 0 and the file's length against it.
// Throws FormatError naming what is wrong: too short, not FlashFiler 2 (a 1.x table gets its
// own message), impossible geometry, encrypted, truncated, inconsistent record layout, or a
// version newer than the newest known engine.
FileHeader readFileHeader(ByteSource& source);

// Reads block 0 of a separate BLOB file: same checks of signature, geometry, encryption
// and length; the record layout is not looked at.
FileHeader readBlobFileHeader(ByteSource& source);

}  // namespace ff::ff2
