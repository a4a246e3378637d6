// A cursor that reads the rows of another on a thread of its own, some batches ahead of the
// caller, so that reading a table (decoding a file, say) and writing its copy overlap.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "store/Storage.h"

namespace ff {

class PrefetchCursor : public RowCursor {
 public:
  // REQUIRES: source may be stepped on another thread (TableStorage::ScansOnAnyThread).
  explicit PrefetchCursor(std::unique_ptr<RowCursor> source, std::size_t rowsPerBatch = 512,
                          std::size_t batchesAhead = 4);
  // Stops the reader, even midway through the source.
  ~PrefetchCursor() override;
  PrefetchCursor(const PrefetchCursor&) = delete;
  PrefetchCursor& operator=(const PrefetchCursor&) = delete;

  // As the source's Next; what the source throws is thrown here, after the rows before it.
  bool Next(Row& row) override;

 private:
  using Batch = std::vector<Row>;

  void readAhead();
  bool fill(Batch& batch);  // false once the source is at its end (or failed)

  std::unique_ptr<RowCursor> source_;
  const std::size_t rowsPerBatch_;
  const std::size_t batchesAhead_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> ready_;   // read, waiting for the caller
  std::vector<Batch> spare_;  // handed out, back for reuse: their rows keep their room
  bool sourceDone_ = false;
  bool stopping_ = false;
  std::exception_ptr failure_;

  Batch current_;
  std::size_t next_ = 0;
  std::thread reader_;  // started by the first Next, so that the source is idle until then
};

}  // namespace ff
