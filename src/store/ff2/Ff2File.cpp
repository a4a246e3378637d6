#include "store/ff2/Ff2File.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "store/Errors.h"
#include "store/ff2/BlobReader.h"
#include "store/ff2/BlockFile.h"
#include "store/ff2/DataChain.h"
#include "store/ff2/Dictionary.h"
#include "store/ff2/FileHeader.h"
#include "store/ff2/FileSource.h"
#include "store/ff2/FormatError.h"
#include "store/ff2/LittleEndian.h"
#include "store/ff2/MemorySource.h"
#include "store/ff2/RecordDecoder.h"

namespace ff::ff2 {

namespace {

bool sameNameIgnoringCase(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
    return std::tolower(x) == std::tolower(y);
  });
}

// The separate BLOB file: <table base name>.<extension>, next to the table.
std::string findBlobFile(const std::string& tablePath, const std::string& extension) {
  namespace fs = std::filesystem;
  const fs::path table(tablePath);
  const std::string wanted = table.stem().string() + "." + extension;
  fs::path folder = table.parent_path();
  if (folder.empty()) folder = ".";
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (sameNameIgnoringCase(it->path().filename().string(), wanted)) return it->path().string();
  }
  if (ec) throw FormatError("kan ikke lete etter BLOB-filen \"" + wanted + "\": " + ec.message());
  throw FormatError("BLOB-filen \"" + wanted + "\" mangler");
}

struct BlobFile {
  std::unique_ptr<ByteSource> source;
  std::unique_ptr<BlockFile> blocks;
};

// Opens the table's separate BLOB file when the dictionary declares one. tablePath is
// empty for a table held in memory.
BlobFile openBlobFile(const Dictionary& dict, const std::string& tablePath) {
  const auto entry = std::find_if(dict.files.begin(), dict.files.end(),
                                  [](const TableFileEntry& f) { return f.type == TableFileType::Blob; });
  if (entry == dict.files.end()) return {};
  if (tablePath.empty()) throw FormatError("BLOB-ene ligger i en egen fil, som ikke kan nås");
  const std::string path = findBlobFile(tablePath, entry->extension);
  BlobFile blobFile;
  try {
    blobFile.source = std::make_unique<FileSource>(path);
    const FileHeader header = readBlobFileHeader(*blobFile.source);
    if (static_cast<std::int64_t>(header.blockSize) != entry->blockSize) {
      throw FormatError("blokkstørrelsen er en annen enn i tabellens ordbok");
    }
    blobFile.blocks = std::make_unique<BlockFile>(*blobFile.source, header.log2BlockSize, header.usedBlocks);
  } catch (const FormatError& e) {
    throw FormatError("BLOB-filen " + path + ": " + e.what());
  }
  return blobFile;
}

std::vector<FieldDef> clientFieldDefs(const Dictionary& dict) {
  std::vector<FieldDef> defs;
  for (const FieldLayout& f : dict.fields) defs.push_back(clientFieldDef(f));
  return defs;
}

std::vector<std::uint32_t> sorted(std::vector<std::uint32_t> blocks) {
  std::sort(blocks.begin(), blocks.end());
  return blocks;
}

}  // namespace

struct Ff2File::Impl {
  // tablePath: where to look for a separate BLOB file; empty for a table in memory.
  Impl(std::string name, std::unique_ptr<ByteSource> src, const std::string& tablePath)
      : name(std::move(name)),
        source(std::move(src)),
        header(readFileHeader(*source)),
        blocks(*source, header.log2BlockSize, header.usedBlocks),
        dict(readDictionary(blocks, header)),
        fieldDefs(clientFieldDefs(dict)),
        chain(walkDataChain(blocks, header)),
        dataBlocks(chain.blocks),
        sortedDataBlocks(sorted(dataBlocks)),
        blobFile(openBlobFile(dict, tablePath)),
        blobs(blobFile.blocks ? *blobFile.blocks : blocks),
        decoder(dict, blobs) {}

  [[noreturn]] void fail(const std::string& what) const { throw ECannotOpen(name + ": " + what); }

  // Decodes the slot at `slot` (its flag byte first), which lies at file offset ref.
  void decodeSlot(RecordRef ref, const std::uint8_t* slot, Ff2Record& record) {
    try {
      record.ref = ref;
      decoder.decode(slot + 1, record.values);
    } catch (const FormatError& e) {
      fail("posten ved byte " + std::to_string(ref) + ": " + e.what());
    }
  }

  void readDataBlock(std::int64_t index, std::vector<std::uint8_t>& into) {
    try {
      blocks.read(dataBlocks.at(static_cast<std::size_t>(index)), BlockKind::Data, into);
    } catch (const FormatError& e) {
      fail(e.what());
    }
  }

  bool isDataBlock(std::uint32_t block) const {
    return std::binary_search(sortedDataBlocks.begin(), sortedDataBlocks.end(), block);
  }

  RecordRef refOf(std::uint32_t block, int slot) const {
    return (static_cast<std::uint64_t>(block) << header.log2BlockSize) + slotOffset(header, slot);
  }

  std::int64_t chainLength() const { return static_cast<std::int64_t>(dataBlocks.size()); }

  std::string name;
  std::unique_ptr<ByteSource> source;
  FileHeader header;
  BlockFile blocks;
  Dictionary dict;
  std::vector<FieldDef> fieldDefs;
  DataChain chain;
  const std::vector<std::uint32_t>& dataBlocks;  // in chain order
  std::vector<std::uint32_t> sortedDataBlocks;
  BlobFile blobFile;
  BlobReader blobs;
  RecordDecoder decoder;
};

namespace {

template <typename MakeImpl>
auto openOrRefuse(const std::string& name, MakeImpl make) {
  try {
    return make();
  } catch (const FormatError& e) {
    throw ECannotOpen(name + ": " + e.what());
  }
}

}  // namespace

Ff2File::Ff2File(const std::string& path)
    : impl_(openOrRefuse(path, [&] {
        return std::make_unique<Impl>(path, std::make_unique<FileSource>(path), path);
      })) {}

Ff2File Ff2File::fromBytes(const std::string& name, std::string bytes) {
  return Ff2File(openOrRefuse(name, [&] {
    return std::make_unique<Impl>(name, std::make_unique<MemorySource>(std::move(bytes)), std::string());
  }));
}

Ff2File::Ff2File(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Ff2File::Ff2File(Ff2File&&) noexcept = default;
Ff2File& Ff2File::operator=(Ff2File&&) noexcept = default;
Ff2File::~Ff2File() = default;

const std::string& Ff2File::name() const { return impl_->name; }
const std::vector<FieldDef>& Ff2File::fields() const { return impl_->fieldDefs; }
const std::vector<FieldLayout>& Ff2File::layouts() const { return impl_->dict.fields; }
const std::vector<IndexDef>& Ff2File::indexes() const { return impl_->dict.indexes; }
std::int64_t Ff2File::recordCount() const { return impl_->header.recordCount; }
std::int32_t Ff2File::version() const { return impl_->header.version; }

Ff2File::Cursor Ff2File::records() { return records(Ff2Direction::Forward); }

Ff2File::Cursor Ff2File::records(Ff2Direction dir) {
  if (dir == Ff2Direction::Forward) return Cursor(*impl_, dir, 0, 0);
  return Cursor(*impl_, dir, impl_->chainLength() - 1, impl_->header.recordsPerBlock - 1);
}

Ff2File::Cursor Ff2File::recordsAt(std::int64_t position, Ff2Direction dir) {
  if (position < 0 || position >= recordCount()) return Cursor(*impl_, dir, -1, 0);
  const auto& before = impl_->chain.liveBefore;
  const auto block = std::upper_bound(before.begin(), before.end(), position) - before.begin() - 1;
  return Cursor(*impl_, dir, block, 0, position - before[static_cast<std::size_t>(block)]);
}

Ff2File::Cursor Ff2File::recordsAfter(RecordSeq seq, Ff2Direction dir) {
  const int step = dir == Ff2Direction::Forward ? 1 : -1;
  return Cursor(*impl_, dir, seq / kSlotsPerSeq, static_cast<int>(seq % kSlotsPerSeq) + step);
}

std::int64_t Ff2File::positionOf(RecordSeq seq) {
  const std::int64_t index = seq / kSlotsPerSeq;
  if (index < 0 || index >= impl_->chainLength()) return recordCount();
  std::vector<std::uint8_t> block;
  impl_->readDataBlock(index, block);
  return impl_->chain.liveBefore[static_cast<std::size_t>(index)] +
         liveSlotsBefore(block, impl_->header, static_cast<int>(seq % kSlotsPerSeq));
}

void Ff2File::forEachRecord(const std::function<void(const Ff2Record&)>& onRecord) {
  Cursor cursor = records();
  Ff2Record record;
  while (cursor.next(record)) onRecord(record);
}

bool Ff2File::readRecordAt(RecordSeq seq, Ff2Record& record) {
  const std::int64_t index = seq / kSlotsPerSeq;
  const auto slot = static_cast<int>(seq % kSlotsPerSeq);
  if (index < 0 || index >= impl_->chainLength() || slot >= impl_->header.recordsPerBlock) return false;
  if (!readRecord(impl_->refOf(impl_->dataBlocks[static_cast<std::size_t>(index)], slot), record)) return false;
  record.seq = seq;
  return true;
}

bool Ff2File::readRecord(RecordRef ref, Ff2Record& record) {
  const FileHeader& h = impl_->header;
  const auto block = ref >> h.log2BlockSize;
  const auto inBlock = static_cast<std::uint32_t>(ref & (h.blockSize - 1));
  const auto slotLength = static_cast<std::uint32_t>(h.slotLength);
  if (block > kNone || !impl_->isDataBlock(static_cast<std::uint32_t>(block))) return false;
  if (inBlock < kDataBlockHeader || (inBlock - kDataBlockHeader) % slotLength != 0) return false;
  if ((inBlock - kDataBlockHeader) / slotLength >= static_cast<std::uint32_t>(h.recordsPerBlock)) return false;
  std::vector<std::uint8_t> slot(slotLength);
  try {
    impl_->source->read(ref, slot.data(), slot.size());
  } catch (const FormatError& e) {
    impl_->fail(e.what());
  }
  if (!isLiveSlot(slot.data())) return false;
  impl_->decodeSlot(ref, slot.data(), record);
  return true;
}

void Ff2File::Cursor::load() {
  try {
    impl_->readDataBlock(blockIndex_, block_);
  } catch (...) {
    moveToNextBlock();  // stand after the failed block
    throw;
  }
  loaded_ = true;
  if (skipLive_ >= 0) slot_ = nthLiveSlot(block_, impl_->header, skipLive_);
  skipLive_ = -1;
}

void Ff2File::Cursor::moveToNextBlock() {
  blockIndex_ += step_;
  slot_ = step_ > 0 ? 0 : impl_->header.recordsPerBlock - 1;
  loaded_ = false;
}

bool Ff2File::Cursor::next(Ff2Record& record) {
  const FileHeader& h = impl_->header;
  while (blockIndex_ >= 0 && blockIndex_ < impl_->chainLength()) {
    if (!loaded_) load();
    while (slot_ >= 0 && slot_ < h.recordsPerBlock) {
      const int slot = slot_;
      slot_ += step_;
      const std::uint8_t* bytes = &block_[slotOffset(h, slot)];
      if (isLiveSlot(bytes)) {
        impl_->decodeSlot(impl_->refOf(impl_->dataBlocks[static_cast<std::size_t>(blockIndex_)], slot), bytes, record);
        record.seq = blockIndex_ * kSlotsPerSeq + slot;
        return true;
      }
    }
    moveToNextBlock();
  }
  return false;
}

}  // namespace ff::ff2
