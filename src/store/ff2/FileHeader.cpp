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

[[noreturn]] void corrupt(const std::string& what) { throw FormatError("skadet filhode: " + what); }

std::string str(std::int64_t v) { return std::to_string(v); }

using Raw = std::array<std::uint8_t, kDefinedHeaderBytes>;

Raw readRaw(ByteSource& source) {
  if (source.size() < kDefinedHeaderBytes) {
    throw FormatError("filen er for kort for en FlashFiler 2-tabell (" + str(static_cast<std::int64_t>(source.size())) +
                      " byte)");
  }
  Raw raw{};
  source.read(0, raw.data(), raw.size());
  return raw;
}

void checkSignature(const Raw& raw) {
  const std::uint32_t signature = readU32(&raw[0]);
  if (signature == kSignatureFf1) {
    throw FormatError("FlashFiler 1-tabell; konverter den først med FlashFilers konverterer");
  }
  if (signature != kSignatureFf2) throw FormatError("ikke en FlashFiler 2-tabell (ukjent signatur)");
}

// Block size, its log, the header's own block fields, encryption and the file length.
void readGeometry(const Raw& raw, std::uint64_t fileSize, FileHeader& h) {
  const std::int32_t blockSize = readI32(&raw[16]);
  if (blockSize != 4096 && blockSize != 8192 && blockSize != 16384 && blockSize != 32768 &&
      blockSize != 65536) {
    corrupt("blokkstørrelsen " + str(blockSize) + " er ingen FlashFiler-blokkstørrelse");
  }
  h.blockSize = static_cast<std::uint32_t>(blockSize);
  h.log2BlockSize = readU32(&raw[24]);
  if (h.log2BlockSize > 31 || (1u << h.log2BlockSize) != h.blockSize) {
    corrupt("log2-blokkstørrelsen " + str(h.log2BlockSize) + " stemmer ikke med blokkstørrelsen " + str(blockSize));
  }
  if (readU32(&raw[4]) != kNone || readU32(&raw[8]) != 0) corrupt("blokk 0 beskriver ikke seg selv");
  if (readI32(&raw[20]) != 0) throw FormatError("tabellen er kryptert; dekrypter den med FlashFiler først");
  h.usedBlocks = readU32(&raw[28]);
  if (h.usedBlocks == 0) corrupt("ingen blokker i bruk");
  const std::uint64_t needed = static_cast<std::uint64_t>(h.usedBlocks) * h.blockSize;
  if (needed > fileSize) {
    throw FormatError("filen er avkortet eller skadet: filhodet oppgir " + str(h.usedBlocks) + " blokker på " +
                      str(h.blockSize) + " byte, filen har " + str(static_cast<std::int64_t>(fileSize)) +
                      " byte");
  }
}

void checkVersion(std::int32_t version) {
  // Values outside the 2.x range occur as never-set filler and are accepted; a 2.x newer than
  // the newest engine may have a layout this reader does not know, and that engine refuses it too.
  if (version > kNewestKnownVersion && version <= kLastVersion2) {
    throw FormatError("laget av FlashFiler versjon " + str(version) + ", nyere enn den nyeste kjente (" +
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
  if (h.recordCount < 0) corrupt("negativt antall poster");
  if (h.fieldCount < 1) corrupt("antall felt " + str(h.fieldCount));
  if (h.recordLength < 9 || h.recordLength > blockSize - kDataBlockHeader - 4) {
    corrupt("postlengden " + str(h.recordLength) + " passer ikke i blokkstørrelsen");
  }
  if (h.slotLength != h.recordLength + 1) corrupt("plasslengden stemmer ikke med postlengden");
  if (h.recordsPerBlock != (blockSize - kDataBlockHeader) / h.slotLength) {
    corrupt("poster per blokk " + str(h.recordsPerBlock) + " stemmer ikke med postlengden");
  }
  if (h.dataDictBlock == 0 || h.dataDictBlock >= h.usedBlocks) corrupt("ingen brukbar ordbokblokk");
  if (h.firstDataBlock != kNone && (h.firstDataBlock == 0 || h.firstDataBlock >= h.usedBlocks)) {
    corrupt("første datablokk " + str(h.firstDataBlock) + " ligger utenfor filen");
  }
  if (h.firstDataBlock == kNone && h.recordCount != 0) corrupt("poster er talt, men det er ingen datablokk");
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
