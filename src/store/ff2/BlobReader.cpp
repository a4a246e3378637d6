#include "store/ff2/BlobReader.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "store/ff2/FormatError.h"
#include "store/ff2/LittleEndian.h"
#include "store/ff2/TextDecoding.h"
#include "text/Cp1252.h"

namespace ff::ff2 {

namespace {

constexpr std::size_t kBlobBlockHeader = 28;
constexpr std::size_t kSegmentGrain = 64;
constexpr std::size_t kSegmentHeader = 20;
constexpr std::size_t kLookupEntry = 12;
constexpr std::uint8_t kHeaderSegment = 'H';
constexpr std::uint8_t kLookupSegment = 'L';
constexpr std::uint8_t kContentSegment = 'C';
constexpr std::uint8_t kDeletedSegment = 'D';
constexpr std::int32_t kFileBlob = -1;
constexpr std::int32_t kBlobLink = -2;

[[noreturn]] void corrupt(std::uint64_t blob, const std::string& what) {
  throw FormatError("BLOB " + std::to_string(blob) + ": " + what);
}

// The length-prefixed name that follows the header segment of a file BLOB or BLOB link.
std::string trailingName(const std::uint8_t* header, std::size_t room) {
  if (room <= kSegmentHeader) return {};
  const std::size_t n = std::min<std::size_t>(header[kSegmentHeader], room - kSegmentHeader - 1);
  return Cp1252ToUtf8({reinterpret_cast<const char*>(header + kSegmentHeader + 1), n});
}

}  // namespace

const std::uint8_t* BlobReader::blockHolding(std::uint64_t offset) {
  const std::uint64_t block = offset >> blocks_.log2BlockSize();
  if (block >= blocks_.usedBlocks()) {
    throw FormatError("segmentet ved " + std::to_string(offset) + " ligger utenfor filen");
  }
  if (block != cachedBlock_) {
    cachedBlock_.reset();
    blocks_.read(static_cast<std::uint32_t>(block), BlockKind::Blob, block_);
    cachedBlock_ = static_cast<std::uint32_t>(block);
  }
  return block_.data();
}

BlobReader::Segment BlobReader::segmentAt(std::uint64_t offset, std::uint8_t signature, std::uint64_t blob) {
  const std::size_t blockSize = blocks_.blockSize();
  const std::size_t inBlock = static_cast<std::size_t>(offset & (blockSize - 1));
  if (inBlock < kBlobBlockHeader || (inBlock - kBlobBlockHeader) % kSegmentGrain != 0) {
    corrupt(blob, "segmentposisjonen " + std::to_string(offset) + " ligger ikke på en segmentgrense");
  }
  const std::uint8_t* p = blockHolding(offset) + inBlock;
  const std::size_t room = blockSize - inBlock;
  if (room < kSegmentGrain) corrupt(blob, "segmentet ved " + std::to_string(offset) + " får ikke plass i blokken sin");
  if (p[0] != signature) {
    if (signature == kHeaderSegment && p[0] == kDeletedSegment) corrupt(blob, "BLOB-en er slettet");
    corrupt(blob, "segmentet ved " + std::to_string(offset) + " er av feil slag");
  }
  if (signature == kHeaderSegment) return {p, room};
  const std::size_t length = readU16(p + 2);
  if (length < kSegmentGrain || length % kSegmentGrain != 0 || length > room) {
    corrupt(blob, "segmentet ved " + std::to_string(offset) + " har lengden " + std::to_string(length));
  }
  if (readU64(p + 4) != blob) corrupt(blob, "segmentet ved " + std::to_string(offset) + " hører til en annen BLOB");
  return {p, length};
}

void BlobReader::appendContent(const std::uint8_t* entry, std::uint64_t blob, std::size_t wanted,
                               std::string& out) {
  const std::uint64_t offset = readU64(entry);
  const std::uint32_t stored = readU32(entry + 8);
  const Segment content = segmentAt(offset, kContentSegment, blob);
  if (stored > content.length - kSegmentHeader) {
    corrupt(blob, "innholdssegmentet ved " + std::to_string(offset) + " oppgir " + std::to_string(stored) + " byte");
  }
  const std::size_t take = std::min<std::size_t>(stored, wanted);
  out.append(reinterpret_cast<const char*>(content.bytes + kSegmentHeader), take);
}

void BlobReader::read(std::uint64_t number, std::string& out) {
  out.clear();
  if (number == 0 || isNoneOffset(number)) return;
  const Segment header = segmentAt(number, kHeaderSegment, number);
  const std::uint32_t length = readU32(header.bytes + 4);
  const std::int32_t segments = readI32(header.bytes + 8);
  if (segments == kFileBlob) {
    corrupt(number, "innholdet ligger i den eksterne filen \"" + trailingName(header.bytes, header.length) +
                        "\", som ikke kan leses sammen med tabellen");
  }
  if (segments == kBlobLink) {
    corrupt(number, "innholdet er en BLOB i tabellen \"" + trailingName(header.bytes, header.length) +
                        "\", som ikke leses sammen med denne tabellen");
  }
  if (length == 0) return;
  if (length > std::numeric_limits<std::int32_t>::max() || length > blocks_.source().size()) {
    corrupt(number, "lengden " + std::to_string(length) + " er umulig");
  }
  std::uint64_t lookup = readU64(header.bytes + 12);
  out.reserve(length);
  visitedLookups_.clear();
  while (out.size() < length) {
    if (isNoneOffset(lookup)) {
      corrupt(number, "slutter etter " + std::to_string(out.size()) + " av " + std::to_string(length) + " byte");
    }
    if (!visitedLookups_.insert(lookup).second) corrupt(number, "oppslagssegmentene går i ring");
    const Segment segment = segmentAt(lookup, kLookupSegment, number);
    lookup_.assign(segment.bytes, segment.bytes + segment.length);
    const std::size_t entries = (lookup_.size() - kSegmentHeader) / kLookupEntry;
    for (std::size_t e = 0; e < entries && out.size() < length; ++e) {
      appendContent(&lookup_[kSegmentHeader + e * kLookupEntry], number, length - out.size(), out);
    }
    lookup = readU64(&lookup_[12]);
  }
}

}  // namespace ff::ff2
