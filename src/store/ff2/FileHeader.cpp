#include "store/ff2/FileHeader.h"

#include <array>
#include <string>

#include "store/ff2/FormatError.h"
#include "store/ff2/LittleEndian.h"

namespace ff::ff2 {

namespace {

constexpr std::size_t kDefinedHeaderBytes = 1036;
constexpr std::uint32_t kSignatureFf2 = 0x48024646;
constexpr std::uint32_t kSignatureFf1 = 0x48464646;
constexpr std::int32_t kNewestKnownVersion = 21300;
constexpr std::int32_t kLastVersion2 = 29999;
constexpr std::int32_t kDataBlockHeader = 32;

[[noreturn]] void corrupt(const std::string& what) { throw FormatError("corrupt header: " + what); }

std::string str(std::int64_t v) { return std::to_string(v); }

using Raw = std::array<std::uint8_t, kDefinedHeaderBytes>;

Raw readRaw(ByteSource& source) {
  if (source.size() < kDefinedHeaderBytes) {
    throw FormatError("file too short for a FlashFiler 2 table (" + str(static_cast<std::int64_t>(source.size())) +
                      " bytes)");
  }
  Raw raw{};
  source.read(0, raw.data(), raw.size());
  return raw;
}

void checkSignature(const Raw& raw) {
  const std::uint32_t signature = readU32(&raw[0]);
  if (signature == kSignatureFf1) {
    throw FormatError("FlashFiler 1 table; convert it with FlashFiler's converter first");
  }
  if (signature != kSignatureFf2) throw FormatError("not a FlashFiler 2 table (unknown signature)");
}

// Block size, its log, the header's own block fields, encryption and the file length.
void readGeometry(const Raw& raw, std::uint64_t fileSize, FileHeader& h) {
  const std::int32_t blockSize = readI32(&raw[16]);
  if (blockSize != 4096 && blockSize != 8192 && blockSize != 16384 && blockSize != 32768 &&
      blockSize != 65536) {
    corrupt("block size " + str(blockSize) + " is not a FlashFiler block size");
  }
  h.blockSize = static_cast<std::uint32_t>(blockSize);
  h.log2BlockSize = readU32(&raw[24]);
  if (h.log2BlockSize > 31 || (1u << h.log2BlockSize) != h.blockSize) {
    corrupt("log2 block size " + str(h.log2BlockSize) + " does not match block size " + str(blockSize));
  }
  if (readU32(&raw[4]) != kNone || readU32(&raw[8]) != 0) corrupt("block 0 does not describe itself");
  if (readI32(&raw[20]) != 0) throw FormatError("table is encrypted; decrypt it with FlashFiler first");
  h.usedBlocks = readU32(&raw[28]);
  if (h.usedBlocks == 0) corrupt("no blocks in use");
  const std::uint64_t needed = static_cast<std::uint64_t>(h.usedBlocks) * h.blockSize;
  if (needed > fileSize) {
    throw FormatError("file is truncated or damaged: header names " + str(h.usedBlocks) + " blocks of " +
                      str(h.blockSize) + " bytes, the file has " + str(static_cast<std::int64_t>(fileSize)) +
                      " bytes");
  }
}

void checkVersion(std::int32_t version) {
  // Values outside the 2.x range occur as never-set filler and are accepted; a 2.x newer than
  // the newest engine may have a layout this reader does not know, and that engine refuses it too.
  if (version > kNewestKnownVersion && version <= kLastVersion2) {
    throw FormatError("made by FlashFiler version " + str(version) + ", newer than the newest known (" +
                      str(kNewestKnownVersion) + ")");
  }
}

void readRecordLayout(const Raw& raw, FileHeader& h) {
  h.recordCount = readI32(&raw[40]);
  h.recordLength = readI32(&raw[56]);
  h.slotLength = readI32(&raw[60]);
  h.recordsPerBlock = readI32(&raw[64]);
  h.firstDataBlock = readU32(&raw[68]);
  h.fieldCount = readI32(&raw[112]);
  h.dataDictBlock = readU32(&raw[116]);
  const auto blockSize = static_cast<std::int32_t>(h.blockSize);
  if (h.recordCount < 0) corrupt("negative record count");
  if (h.fieldCount < 1) corrupt("field count " + str(h.fieldCount));
  if (h.recordLength < 9 || h.recordLength > blockSize - kDataBlockHeader - 4) {
    corrupt("record length " + str(h.recordLength) + " does not fit the block size");
  }
  if (h.slotLength != h.recordLength + 1) corrupt("slot length does not match record length");
  if (h.recordsPerBlock != (blockSize - kDataBlockHeader) / h.slotLength) {
    corrupt("records per block " + str(h.recordsPerBlock) + " does not match the record length");
  }
  if (h.dataDictBlock == 0 || h.dataDictBlock >= h.usedBlocks) corrupt("no usable data dictionary block");
  if (h.firstDataBlock != kNone && (h.firstDataBlock == 0 || h.firstDataBlock >= h.usedBlocks)) {
    corrupt("first data block " + str(h.firstDataBlock) + " lies outside the file");
  }
  if (h.firstDataBlock == kNone && h.recordCount != 0) corrupt("records counted but no data block");
}

FileHeader readCommon(ByteSource& source, const Raw& raw) {
  checkSignature(raw);
  FileHeader h;
  readGeometry(raw, source.size(), h);
  h.version = readI32(&raw[120]);
  checkVersion(h.version);
  return h;
}

}  // namespace

FileHeader readFileHeader(ByteSource& source) {
  const Raw raw = readRaw(source);
  FileHeader h = readCommon(source, raw);
  readRecordLayout(raw, h);
  return h;
}

FileHeader readBlobFileHeader(ByteSource& source) {
  const Raw raw = readRaw(source);
  return readCommon(source, raw);
}

}  // namespace ff::ff2
