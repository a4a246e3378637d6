// Builds small FlashFiler 2 table files in memory, for the types and shapes the sample
// tables do not cover. Block order: 0 header, 1 index header, BLOB blocks, data blocks,
// dictionary stream blocks last.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "store/ff2/FieldLayout.h"

namespace ff2test {

inline std::string le(std::uint64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}
inline std::string le16(std::uint16_t v) { return le(v, 2); }
inline std::string le32(std::uint32_t v) { return le(v, 4); }
inline std::string le64(std::uint64_t v) { return le(v, 8); }
inline std::string f64(double d) {
  std::uint64_t bits;
  std::memcpy(&bits, &d, 8);
  return le64(bits);
}
inline std::string f32(float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, 4);
  return le32(bits);
}

struct TestField {
  std::string name;
  int type = 8;
  int length = 4;
  int units = 0;
  std::uint8_t nameTag = 0x06;               // 0x06, 0x0C, 0x12 (name given as ASCII) or 0x14
  std::optional<std::string> defaultValue;   // raw bytes of `length`, written as a validity block
  std::string description;
};

// A field of the given FlashFiler type, length and units.
inline TestField field(const std::string& name, ff::ff2::FfType type, int length, int units = 0) {
  TestField f;
  f.name = name;
  f.type = static_cast<int>(type);
  f.length = length;
  f.units = units;
  return f;
}

struct TestIndex {
  std::string name;
  std::vector<int> fields;  // empty: a user-defined index
  bool duplicates = true;
  bool ascending = true;
  bool caseInsensitive = false;
  std::string helper;  // comparison helper name after the first key field, when not empty
};

using RawRecord = std::vector<std::optional<std::string>>;  // raw field bytes; nullopt = NULL

class Ff2TableBuilder {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFF;

  // REQUIRES: log2BlockSize in 12...16.
  explicit Ff2TableBuilder(std::vector<TestField> fields, std::uint32_t log2BlockSize = 12)
      : fields_(std::move(fields)), log2_(log2BlockSize), kBlockSize(1u << log2BlockSize) {
    blocks_.push_back({});  // header, written by build()
    blocks_.push_back(freshBlock(0x48494646, 1));
  }

  int logicalLength() const {
    int l = 0;
    for (const auto& f : fields_) l += f.length;
    return l;
  }
  int recordLength() const {
    return std::max(logicalLength(), 8) + static_cast<int>((fields_.size() + 7) / 8);
  }
  int recordsPerBlock() const { return static_cast<int>((kBlockSize - 32) / (recordLength() + 1)); }

  void addRecord(const RawRecord& values) { slots_.push_back(values); }
  void addDeletedSlot() { slots_.push_back(std::nullopt); }
  void addIndex(TestIndex index) { indexes_.push_back(std::move(index)); }

  // Stores a BLOB in fresh blocks: header and lookup segments first, then one content
  // segment per block holding `chunk` bytes, `entriesPerLookup` entries per lookup segment.
  // Returns its BLOB number. segmentCount -1/-2 makes a file BLOB / BLOB link named `external`.
  std::uint64_t addBlob(const std::string& bytes, std::size_t chunk = 4012, std::size_t entriesPerLookup = 300,
                        std::int32_t segmentCount = 0, const std::string& external = "") {
    auto& target = separateBlobs_ ? blobBlocks_ : blocks_;
    const std::uint32_t base = static_cast<std::uint32_t>(target.size());
    const std::size_t contents = (bytes.size() + chunk - 1) / chunk;
    const std::size_t lookups = std::max<std::size_t>(1, (contents + entriesPerLookup - 1) / entriesPerLookup);
    const std::uint32_t firstContentBlock = base + 1 + static_cast<std::uint32_t>(lookups);
    const std::uint64_t number = offsetOf(base, 0);
    std::string head = std::string("H") + '\0' + le16(64) + le32(static_cast<std::uint32_t>(bytes.size())) +
                       le32(static_cast<std::uint32_t>(segmentCount ? segmentCount : contents + lookups + 1)) +
                       le64(bytes.empty() ? 0xFFFFFFFFull : offsetOf(base + 1, 0));
    if (!external.empty()) head += static_cast<char>(external.size()) + external;
    target.push_back(blobBlock(base, head));
    for (std::size_t l = 0; l < lookups; ++l) {
      const std::size_t first = l * entriesPerLookup;
      const std::size_t count = std::min(entriesPerLookup, contents - std::min(contents, first));
      std::string body;
      for (std::size_t e = 0; e < count; ++e) {
        const std::size_t c = first + e;
        body += le64(offsetOf(firstContentBlock + static_cast<std::uint32_t>(c), 0)) +
                le32(static_cast<std::uint32_t>(std::min(chunk, bytes.size() - c * chunk)));
      }
      const std::uint64_t next = l + 1 < lookups ? offsetOf(base + 2 + static_cast<std::uint32_t>(l), 0) : 0xFFFFFFFFull;
      target.push_back(blobBlock(base + 1 + static_cast<std::uint32_t>(l), segment('L', number, next, body)));
    }
    for (std::size_t c = 0; c < contents; ++c) {
      const std::uint32_t n = firstContentBlock + static_cast<std::uint32_t>(c);
      target.push_back(blobBlock(n, segment('C', number, 0xFFFFFFFFull, bytes.substr(c * chunk, chunk))));
    }
    return number;
  }

  // Subsequent BLOBs (call before any addBlob) go to a separate BLOB file with this extension.
  void useSeparateBlobFile(const std::string& extension) {
    separateBlobs_ = true;
    blobExtension_ = extension;
    blobBlocks_.push_back({});
  }

  void setVersion(std::int32_t v) { version_ = v; }
  // Links the data blocks in reverse block order (the chain, not the block order, is physical order).
  void reverseDataChain() { reverseChain_ = true; }
  // Flag byte of slots that never held a record (2.00 engines leave 0x46 in the last slot).
  void setUnusedFlag(std::uint8_t flag) { unusedFlag_ = flag; }

  std::string build() {
    std::vector<std::string> blocks = blocks_;
    const std::uint32_t firstData = static_cast<std::uint32_t>(blocks.size());
    const int rpb = recordsPerBlock();
    const std::size_t dataBlocks = (slots_.size() + rpb - 1) / rpb;
    int live = 0;
    for (std::size_t b = 0; b < dataBlocks; ++b) {
      const std::uint32_t n = firstData + static_cast<std::uint32_t>(b);
      std::string block = freshBlock(0x48444646, n);
      const bool last = b + 1 == dataBlocks;
      const std::uint32_t next = reverseChain_ ? (b == 0 ? kNone : n - 1) : (last ? kNone : n + 1);
      const std::uint32_t prev = reverseChain_ ? (last ? kNone : n + 1) : (b == 0 ? kNone : n - 1);
      block.replace(16, 16, le32(static_cast<std::uint32_t>(rpb)) + le32(static_cast<std::uint32_t>(recordLength())) +
                                le32(next) + le32(prev));
      for (int s = 0; s < rpb; ++s) {
        const std::size_t i = b * rpb + s;
        std::string slot = slotBytes(i < slots_.size() ? slots_[i] : std::nullopt, i < slots_.size());
        if (i < slots_.size() && slots_[i]) ++live;
        block.replace(32 + s * (recordLength() + 1), slot.size(), slot);
      }
      blocks.push_back(block);
    }
    const std::uint32_t dictBlock = static_cast<std::uint32_t>(blocks.size());
    appendStream(blocks, dictionary());
    const std::uint32_t first = dataBlocks == 0 ? kNone
                                : reverseChain_ ? firstData + static_cast<std::uint32_t>(dataBlocks) - 1
                                                : firstData;
    const std::uint32_t lastData = dataBlocks == 0 ? kNone : reverseChain_ ? firstData : firstData + static_cast<std::uint32_t>(dataBlocks) - 1;
    blocks[0] = header(static_cast<std::uint32_t>(blocks.size()), live, first, lastData, dictBlock);
    std::string file;
    for (const auto& b : blocks) file += b;
    return file;
  }

  std::string buildBlobFile() {
    std::vector<std::string> blocks = blobBlocks_;
    blocks[0] = header(static_cast<std::uint32_t>(blocks.size()), 0, kNone, kNone, 0);
    std::string file;
    for (const auto& b : blocks) file += b;
    return file;
  }

 private:
  std::uint64_t offsetOf(std::uint32_t block, std::uint32_t segmentIndex) {
    return std::uint64_t{block} * kBlockSize + 28 + 64 * segmentIndex;
  }

  std::string freshBlock(std::uint32_t signature, std::uint32_t n) {
    std::string b(kBlockSize, 'F');
    b.replace(0, 16, le32(signature) + le32(kNone) + le32(n) + le32(0));
    return b;
  }

  std::string blobBlock(std::uint32_t n, const std::string& segmentBytes) {
    std::string b = freshBlock(0x48424646, n);
    b.replace(16, 12, le32(1) + std::string(8, '\0'));
    b.replace(28, segmentBytes.size(), segmentBytes);
    return b;
  }

  static std::string segment(char kind, std::uint64_t parent, std::uint64_t next, const std::string& body) {
    std::string s = std::string(1, kind) + '\0';
    const std::size_t length = (20 + body.size() + 63) / 64 * 64;
    s += le16(static_cast<std::uint16_t>(length)) + le64(parent) + le64(next) + body;
    s.resize(length, 'F');
    return s;
  }

  std::string slotBytes(const std::optional<RawRecord>& values, bool used) const {
    std::string slot(recordLength() + 1, '\0');
    if (!values) {
      slot[0] = used ? static_cast<char>(0xFF) : static_cast<char>(unusedFlag_);
      if (!used) std::fill(slot.begin() + 1, slot.end(), 'F');
      return slot;
    }
    int offset = 0;
    const int bitmap = 1 + logicalLength();
    std::fill(slot.begin() + bitmap, slot.end(), static_cast<char>(0xFF));
    for (std::size_t i = 0; i < fields_.size(); ++i) {
      const auto& v = i < values->size() ? (*values)[i] : std::nullopt;
      if (v) {
        slot.replace(1 + offset, std::min<std::size_t>(v->size(), fields_[i].length), *v, 0, fields_[i].length);
        slot[bitmap + i / 8] = static_cast<char>(slot[bitmap + i / 8] & ~(1 << (i % 8)));
      }
      offset += fields_[i].length;
    }
    return slot;
  }

  static std::string intValue(std::int32_t v) {
    if (v >= -128 && v <= 127) return "\x02" + le(static_cast<std::uint8_t>(v), 1);
    if (v >= -32768 && v <= 32767) return "\x03" + le16(static_cast<std::uint16_t>(v));
    return "\x04" + le32(static_cast<std::uint32_t>(v));
  }
  static std::string boolValue(bool b) { return b ? "\x09" : "\x08"; }
  static std::string stringValue(const std::string& s, std::uint8_t tag = 0x06) {
    switch (tag) {
      case 0x0C: return "\x0C" + le32(static_cast<std::uint32_t>(s.size())) + s;
      case 0x14: return "\x14" + le32(static_cast<std::uint32_t>(s.size())) + s;
      case 0x12: {
        std::string wide;
        for (char c : s) wide += std::string(1, c) + '\0';
        return "\x12" + le32(static_cast<std::uint32_t>(s.size())) + wide;
      }
      default: return "\x06" + std::string(1, static_cast<char>(s.size())) + s;
    }
  }

  std::string dictionary() const {
    std::string d = boolValue(false);
    d += intValue(separateBlobs_ ? 2 : 1);
    d += stringValue("Data/DataDict File") + stringValue("FF2") + intValue(kBlockSize) + intValue(0);
    if (separateBlobs_) d += stringValue("BLOB File") + stringValue(blobExtension_) + intValue(kBlockSize) + intValue(2);
    d += intValue(static_cast<std::int32_t>(fields_.size()));
    int offset = 0;
    for (const auto& f : fields_) {
      d += stringValue(f.name, f.nameTag) + stringValue(f.description) + intValue(f.units) + intValue(0) +
           intValue(offset) + intValue(f.length) + intValue(f.type) + boolValue(false);
      d += boolValue(f.defaultValue.has_value());
      if (f.defaultValue) d += stringValue("") + boolValue(false) + boolValue(false) + boolValue(true) + *f.defaultValue;
      offset += f.length;
    }
    d += intValue(logicalLength());
    d += intValue(static_cast<std::int32_t>(indexes_.size() + 1));
    for (const auto& ix : indexes_) {
      d += stringValue(ix.name) + stringValue("") + intValue(0) + intValue(5);
      d += intValue(ix.fields.empty() ? -1 : static_cast<std::int32_t>(ix.fields.size()));
      for (std::size_t k = 0; k < ix.fields.size(); ++k) {
        d += intValue(ix.fields[k]);
        if (k == 0 && !ix.helper.empty()) d += stringValue(ix.helper);
      }
      d += boolValue(ix.duplicates) + boolValue(ix.ascending) + boolValue(ix.caseInsensitive);
    }
    return d;
  }

  void appendStream(std::vector<std::string>& blocks, const std::string& payload) {
    const std::size_t per = kBlockSize - 32;
    const std::uint32_t first = static_cast<std::uint32_t>(blocks.size());
    const std::size_t count = std::max<std::size_t>(1, (payload.size() + per - 1) / per);
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t n = first + static_cast<std::uint32_t>(i);
      std::string b = freshBlock(0x48534646, n);
      b.replace(16, 16, le32(i + 1 < count ? n + 1 : kNone) + le32(0x54434944) +
                            le32(static_cast<std::uint32_t>(payload.size())) + le32(first));
      const std::string part = payload.substr(i * per, per);
      b.replace(32, part.size(), part);
      blocks.push_back(b);
    }
  }

  std::string header(std::uint32_t used, int live, std::uint32_t firstData, std::uint32_t lastData,
                     std::uint32_t dictBlock) const {
    std::string h = le32(0x48024646) + le32(kNone) + le32(0) + le32(0) + le32(kBlockSize) + le32(0) + le32(log2_) +
                    le32(used) + le32(0) + le32(kNone) + le32(static_cast<std::uint32_t>(live)) +
                    le32(static_cast<std::uint32_t>(slots_.size() - live)) + le64(0x46464646FFFFFFFFull) +
                    le32(recordLength()) + le32(recordLength() + 1) + le32(recordsPerBlock()) + le32(firstData) +
                    le32(lastData) + le32(0) + le64(0xFFFFFFFFull) + le64(0xFFFFFFFFull) + le32(0) +
                    le32(static_cast<std::uint32_t>(indexes_.size() + 1)) + le32(1) + le32(1) +
                    le32(static_cast<std::uint32_t>(fields_.size())) + le32(dictBlock) + le32(version_);
    h.resize(kBlockSize, 'F');
    return h;
  }

  std::vector<TestField> fields_;
  std::uint32_t log2_;
  std::uint32_t kBlockSize;
  std::vector<std::optional<RawRecord>> slots_;
  std::vector<TestIndex> indexes_;
  std::vector<std::string> blocks_;
  std::vector<std::string> blobBlocks_;
  bool separateBlobs_ = false;
  std::string blobExtension_;
  std::int32_t version_ = 21200;
  bool reverseChain_ = false;
  std::uint8_t unusedFlag_ = 0xFF;
};

}  // namespace ff2test
