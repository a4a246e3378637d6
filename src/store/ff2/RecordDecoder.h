// Turns the bytes of one record into field values.
#pragma once

#include <cstdint>
#include <vector>

#include "store/Value.h"
#include "store/ff2/BlobReader.h"
#include "store/ff2/Dictionary.h"

namespace ff::ff2 {

class RecordDecoder {
 public:
  // REQUIRES: dict and blobs outlive the decoder; dict passed readDictionary's checks.
  RecordDecoder(const Dictionary& dict, BlobReader& blobs) : dict_(dict), blobs_(blobs) {}

  // Decodes the record that starts at `record` (the byte after the slot's flag byte) into
  // one value per field, in dictionary order. See Ff2File.h for how each type arrives.
  // REQUIRES: record holds the header's RecordLength bytes.
  // Throws FormatError (naming the field) for a damaged BLOB.
  void decode(const std::uint8_t* record, std::vector<Value>& values);

 private:
  Value decodeField(const FieldLayout& field, const std::uint8_t* p);
  Value decodeBlob(const FieldLayout& field, const std::uint8_t* p);

  const Dictionary& dict_;
  BlobReader& blobs_;
};

}  // namespace ff::ff2
