// libFuzzer target for the .ff2 reader: any input must be read or refused with ECannotOpen,
// without crashes, leaks, undefined behaviour or endless loops. Built by scripts/fuzz.sh (target ff2).
#include <cstddef>
#include <cstdint>
#include <string>

#include "store/Errors.h"
#include "store/ff2/Ff2File.h"

namespace {

// Walks every record, going on after a damaged one as a tolerant caller would.
void walkAll(ff::ff2::Ff2File& file) {
  ff::ff2::Ff2File::Cursor cursor = file.records();
  ff::ff2::Ff2Record record;
  while (true) {
    try {
      if (!cursor.next(record)) return;
    } catch (const ff::ECannotOpen&) {
      continue;  // the cursor stands after the failed record
    }
    ff::ff2::Ff2Record again;
    try {
      file.readRecord(record.ref, again);
    } catch (const ff::ECannotOpen&) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    ff::ff2::Ff2File file = ff::ff2::Ff2File::fromBytes("fuzz.ff2", std::string(reinterpret_cast<const char*>(data), size));
    walkAll(file);
  } catch (const ff::ECannotOpen&) {
  }
  return 0;
}
