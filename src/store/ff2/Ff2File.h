// Read-only access to a FlashFiler 2 table file (.ff2): its fields, its index definitions
// and its live records in physical order, one at a time.
//
// How field values arrive (ff::Value, one per field in dictionary order):
//   - NULL (the record's null bit set) is std::monostate.
//   - Boolean: int64 0/1. Byte, Word16, Int8, Int16, Int32: int64. Word32 and AutoInc: int64
//     holding the stored unsigned 32-bit number (their fields are LongWord/AutoInc).
//   - Comp: int64, the stored 64-bit whole number (its field is Largeint), never through a
//     double.
//   - Single, Double, Extended: double. Currency: ScaledCurrency, the stored 64-bit integer
//     (the amount times 10000) unchanged, never through a double.
//   - DateTime, StDate, StTime: double, days since 30 December 1899 with the time of day as
//     the fraction. Values that are no valid date or time (DateTime below 0001-01-01,
//     StDate/StTime out of range such as the -1 "invalid" marker) arrive as NULL.
//   - Char, strings and text memos (BLOB memo, long null-terminated strings): UTF-8 text,
//     decoded from Windows-1252 (wide types from UTF-16), ending at the first 0 character.
//   - Byte arrays and every other BLOB kind (binary, graphic, formatted memo, OLE, ...): the
//     stored bytes unchanged. A BLOB field that is not NULL but names no BLOB is "".
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/Schema.h"
#include "store/Value.h"
#include "store/ff2/FieldLayout.h"

namespace ff::ff2 {

// Where a record lives: the file offset of its slot. Stable for the life of the file, so
// it serves as a row id.
using RecordRef = std::uint64_t;

// A record's place in physical order: its block's place in the chain times kSlotsPerSeq, plus
// its slot. Grows along physical order and is stable for the life of the file.
using RecordSeq = std::int64_t;
inline constexpr RecordSeq kSlotsPerSeq = 1 << 16;  // more than any block holds

struct Ff2Record {
  RecordRef ref = 0;
  RecordSeq seq = 0;
  std::vector<Value> values;  // one per field, in field order
};

enum class Ff2Direction { Forward, Backward };

class Ff2File {
 public:
  class Cursor;

  // Opens the table file at path and reads its header, data dictionary and the chain of
  // data blocks (so the file's structure is checked before any record is handed out).
  // A table whose BLOBs live in a separate file opens that file too (found next to the
  // table, name compared without regard to case).
  // Throws ECannotOpen, whose message starts with path and says what is wrong, when the
  // file is missing or unreadable, not a FlashFiler 2 table (a FlashFiler 1 table is named as
  // such), made by a newer FlashFiler than 2.13, encrypted, truncated or damaged, or when
  // the live records found differ from the count in its header.
  explicit Ff2File(const std::string& path);

  // As the path constructor, for a table file held in memory; `name` stands for the file
  // in messages. A table that keeps its BLOBs in a separate file cannot be read this way
  // (ECannotOpen).
  static Ff2File fromBytes(const std::string& name, std::string bytes);

  Ff2File(Ff2File&&) noexcept;
  Ff2File& operator=(Ff2File&&) noexcept;
  ~Ff2File();

  // The path or name the file was opened with.
  const std::string& name() const;

  // The fields as a data set sees them through the FlashFiler client: name, data-set type,
  // size (characters of strings, bytes of byte arrays, else 0) and required flag.
  const std::vector<FieldDef>& fields() const;

  // The same fields as the file describes them (FlashFiler type, units, offset, length).
  const std::vector<FieldLayout>& layouts() const;

  // The table's indexes in dictionary order, the implicit sequential index left out.
  // Options: ixUnique when duplicates are not allowed, ixDescending, ixCaseInsensitive.
  // A user-defined (custom comparison) index has no fields.
  const std::vector<IndexDef>& indexes() const;

  // Number of live records (checked against the data blocks at open).
  std::int64_t recordCount() const;

  // The FlashFiler version that created the file, as major*10000 + minor*100 + patch
  // (20601 = 2.06.01). Values outside 20000...29999 mean the creator never set it.
  std::int32_t version() const;

  // A cursor at the first live record. REQUIRES: this file outlives the cursor, and only
  // one cursor or call of this file runs at a time (one thread).
  Cursor records();
  // As records(): a cursor in physical order (Forward) or against it (Backward), at the first
  // or the last record, at the record with 0-based physical position `position`, or just
  // after (Forward) or before (Backward) the place `seq`. A position out of range, or a seq
  // of no data block, gives a cursor at the end.
  Cursor records(Ff2Direction dir);
  Cursor recordsAt(std::int64_t position, Ff2Direction dir);
  Cursor recordsAfter(RecordSeq seq, Ff2Direction dir);

  // 0-based physical position of the live record at seq (counting the live records ahead of
  // it); reads one block. Throws ECannotOpen for a damaged block.
  std::int64_t positionOf(RecordSeq seq);

  // Calls onRecord for every live record in physical order. The record passed is reused
  // for the next call: copy what must outlive the call. Exceptions thrown by onRecord pass
  // through unchanged. Throws ECannotOpen (naming file, record and field) when it meets a
  // damaged data block or BLOB; the records before it have been handed out by then.
  void forEachRecord(const std::function<void(const Ff2Record&)>& onRecord);

  // Reads the record at ref into record. Returns false when ref is not the slot of a live
  // record. Throws ECannotOpen for a damaged BLOB of the record.
  bool readRecord(RecordRef ref, Ff2Record& record);
  // The same for the record at seq.
  bool readRecordAt(RecordSeq seq, Ff2Record& record);

 private:
  struct Impl;
  explicit Ff2File(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Steps through the live records of a file in physical order.
class Ff2File::Cursor {
 public:
  // Fills record with the next live record and returns true; returns false after the last.
  // Throws ECannotOpen for a damaged data block or BLOB; the cursor then stands after the
  // record that failed.
  bool next(Ff2Record& record);

 private:
  friend class Ff2File;
  // Starts at slot `slot` of the block at blockIndex in the chain, or, when skipLive >= 0, at
  // the live slot of that block with skipLive live slots ahead of it.
  Cursor(Impl& impl, Ff2Direction dir, std::int64_t blockIndex, int slot, std::int64_t skipLive = -1)
      : impl_(&impl), step_(dir == Ff2Direction::Forward ? 1 : -1), blockIndex_(blockIndex), slot_(slot),
        skipLive_(skipLive) {}
  void load();
  void moveToNextBlock();

  Impl* impl_;
  int step_;                  // +1 along physical order, -1 against it
  std::int64_t blockIndex_;   // position in the data-block chain
  int slot_;                  // next slot of that block to look at
  std::int64_t skipLive_;     // see the constructor; -1 once the block is loaded
  bool loaded_ = false;       // block_ holds the block at blockIndex_
  std::vector<std::uint8_t> block_;
};

}  // namespace ff::ff2
