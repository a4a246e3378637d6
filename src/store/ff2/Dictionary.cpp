#include "store/ff2/Dictionary.h"

#include <algorithm>

#include "store/ff2/FormatError.h"
#include "store/ff2/LittleEndian.h"
#include "store/ff2/StreamValueReader.h"

namespace ff::ff2 {

namespace {

constexpr std::uint32_t kDictionaryStream = 0x54434944;  // "DICT"
constexpr std::size_t kStreamBlockHeader = 32;
constexpr int kMostKeyFields = 16;
constexpr int kCustomIndex = -1;

[[noreturn]] void corrupt(const std::string& what) {
  throw FormatError("skadet dataordbok: " + what);
}

// Collects the payload of the stream's block chain.
std::vector<std::uint8_t> readStream(const BlockFile& blocks, std::uint32_t first) {
  std::vector<std::uint8_t> block;
  blocks.read(first, BlockKind::Stream, block);
  if (readU32(&block[20]) != kDictionaryStream) corrupt("blokk " + std::to_string(first) + " hører til en annen strøm");
  const std::int32_t length = readI32(&block[24]);
  const std::size_t payloadPerBlock = blocks.blockSize() - kStreamBlockHeader;
  if (length < 0 || static_cast<std::uint64_t>(length) > std::uint64_t{blocks.usedBlocks()} * payloadPerBlock) {
    corrupt("strømlengden " + std::to_string(length) + " passer ikke i filen");
  }
  std::vector<std::uint8_t> stream;
  stream.reserve(static_cast<std::size_t>(length));
  std::vector<bool> visited(blocks.usedBlocks(), false);
  std::uint32_t current = first;
  while (true) {
    visited[current] = true;
    const std::size_t take = std::min(payloadPerBlock, static_cast<std::size_t>(length) - stream.size());
    stream.insert(stream.end(), block.begin() + kStreamBlockHeader, block.begin() + kStreamBlockHeader + take);
    if (stream.size() == static_cast<std::size_t>(length)) return stream;
    const std::uint32_t next = readU32(&block[16]);
    if (next == kNone) corrupt("strømmen slutter for tidlig");
    if (next < visited.size() && visited[next]) corrupt("strømblokkene går i ring");
    blocks.read(next, BlockKind::Stream, block);
    current = next;
  }
}

TableFileEntry readFileEntry(StreamValueReader& in) {
  in.readString();  // description
  TableFileEntry entry;
  entry.extension = in.readString();
  entry.blockSize = in.readInt();
  const std::int32_t type = in.readInt();
  if (type < 0 || type > static_cast<std::int32_t>(TableFileType::Blob)) {
    corrupt("ukjent filtype " + std::to_string(type));
  }
  entry.type = static_cast<TableFileType>(type);
  return entry;
}

// The validity block: an edit mask and optional raw minimum, maximum and default values.
void skipValidity(StreamValueReader& in, int length) {
  in.readString();  // picture
  const bool hasMin = in.readBool();
  const bool hasMax = in.readBool();
  const bool hasDefault = in.readBool();
  const int rawValues = int{hasMin} + int{hasMax} + int{hasDefault};
  in.skipRaw(static_cast<std::size_t>(rawValues) * static_cast<std::size_t>(length));
}

FieldLayout readField(StreamValueReader& in) {
  FieldLayout f;
  f.name = in.readString();
  in.readString();  // description
  f.units = in.readInt();
  f.decimals = in.readInt();
  f.offset = in.readInt();
  f.length = in.readInt();
  const std::int32_t code = in.readInt();
  f.required = in.readBool();
  const auto type = ffTypeFromCode(code);
  if (!type) corrupt("feltet \"" + f.name + "\" har ukjent typekode " + std::to_string(code));
  f.type = *type;
  if (!lengthFitsType(f.type, f.length)) {
    corrupt("feltet \"" + f.name + "\" har lengden " + std::to_string(f.length) + " for typen " +
            std::string(ffTypeName(f.type)));
  }
  if (f.offset < 0) corrupt("feltet \"" + f.name + "\" har negativ posisjon");
  if (in.readBool()) skipValidity(in, f.length);
  return f;
}

IndexDef readIndex(StreamValueReader& in, const std::vector<FieldLayout>& fields) {
  IndexDef index;
  index.name = in.readString();
  in.readString();  // description
  in.readInt();     // file number
  in.readInt();     // key length
  const std::int32_t keyFields = in.readInt();
  if (keyFields != kCustomIndex && (keyFields < 1 || keyFields > kMostKeyFields)) {
    corrupt("indeksen \"" + index.name + "\" har " + std::to_string(keyFields) + " nøkkelfelt");
  }
  for (std::int32_t k = 0; k < keyFields; ++k) {
    const std::int32_t field = in.readInt();
    if (field < 0 || static_cast<std::size_t>(field) >= fields.size()) {
      corrupt("indeksen \"" + index.name + "\" viser til felt nummer " + std::to_string(field));
    }
    index.fields.push_back(fields[static_cast<std::size_t>(field)].name);
    if (in.nextIsString()) in.readString();  // comparison helper
  }
  const bool duplicates = in.readBool();
  const bool ascending = in.readBool();
  const bool caseInsensitive = in.readBool();
  if (!duplicates) index.options |= ixUnique;
  if (!ascending) index.options |= ixDescending;
  if (caseInsensitive) index.options |= ixCaseInsensitive;
  return index;
}

void checkAgainstHeader(const Dictionary& dict, const FileHeader& header) {
  if (dict.files.empty() || dict.files[0].type != TableFileType::Base) corrupt("ingen grunnfil");
  for (const FieldLayout& f : dict.fields) {
    if (static_cast<std::int64_t>(f.offset) + f.length > dict.logicalLength) {
      corrupt("feltet \"" + f.name + "\" ligger utenfor posten");
    }
  }
  const std::int64_t bitmapBytes = (header.fieldCount + 7) / 8;
  const std::int64_t expected = std::max<std::int64_t>(dict.logicalLength, 8) + bitmapBytes;
  if (expected != header.recordLength) {
    corrupt("postlengden " + std::to_string(header.recordLength) + " stemmer ikke med feltene (" +
            std::to_string(expected) + ")");
  }
}

}  // namespace

Dictionary readDictionary(const BlockFile& blocks, const FileHeader& header) {
  const std::vector<std::uint8_t> stream = readStream(blocks, header.dataDictBlock);
  StreamValueReader in(stream);
  Dictionary dict;
  if (in.readBool()) throw FormatError("tabellen er kryptert; dekrypter den med FlashFiler først");
  const std::int32_t fileCount = in.readInt();
  for (std::int32_t i = 0; i < fileCount; ++i) dict.files.push_back(readFileEntry(in));
  const std::int32_t fieldCount = in.readInt();
  if (fieldCount != header.fieldCount) {
    corrupt(std::to_string(fieldCount) + " felt, filhodet sier " + std::to_string(header.fieldCount));
  }
  for (std::int32_t i = 0; i < fieldCount; ++i) dict.fields.push_back(readField(in));
  dict.logicalLength = in.readInt();
  checkAgainstHeader(dict, header);
  const std::int32_t indexCount = in.readInt();
  for (std::int32_t i = 1; i < indexCount; ++i) dict.indexes.push_back(readIndex(in, dict.fields));
  return dict;
}

}  // namespace ff::ff2
