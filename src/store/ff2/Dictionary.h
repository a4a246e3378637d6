// The table's data dictionary: its files, fields and index definitions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/Schema.h"
#include "store/ff2/BlockFile.h"
#include "store/ff2/FieldLayout.h"
#include "store/ff2/FileHeader.h"

namespace ff::ff2 {

enum class TableFileType : std::int32_t { Base = 0, Index = 1, Blob = 2 };

struct TableFileEntry {
  std::string extension;
  std::int32_t blockSize = 0;
  TableFileType type = TableFileType::Base;
};

struct Dictionary {
  std::vector<TableFileEntry> files;  // files[0] is the table file itself
  std::vector<FieldLayout> fields;
  std::int32_t logicalLength = 0;     // bytes of field values; the null bitmap starts here
  std::vector<IndexDef> indexes;      // the implicit sequential index is not among them
};

// Reads the dictionary stream that the header names and checks it against the header:
// field count, field types, lengths and offsets, and the record length they add up to.
// Throws FormatError naming what is wrong.
Dictionary readDictionary(const BlockFile& blocks, const FileHeader& header);

}  // namespace ff::ff2
