#include "store/PrefetchCursor.h"

#include <utility>

namespace ff {

PrefetchCursor::PrefetchCursor(std::unique_ptr<RowCursor> source, std::size_t rowsPerBatch, std::size_t batchesAhead)
    : source_(std::move(source)), rowsPerBatch_(rowsPerBatch), batchesAhead_(batchesAhead) {}

PrefetchCursor::~PrefetchCursor() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (reader_.joinable()) reader_.join();
}

bool PrefetchCursor::fill(Batch& batch) {
  batch.resize(rowsPerBatch_);
  std::size_t n = 0;
  try {
    while (n < batch.size() && source_->Next(batch[n])) ++n;
  } catch (...) {
    batch.resize(n);
    std::lock_guard lock(mutex_);
    failure_ = std::current_exception();
    return false;
  }
  const bool more = n == batch.size();
  batch.resize(n);
  return more;
}

void PrefetchCursor::readAhead() {
  for (bool more = true; more;) {
    Batch batch;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || ready_.size() < batchesAhead_; });
      if (stopping_) return;
      if (!spare_.empty()) {
        batch = std::move(spare_.back());
        spare_.pop_back();
      }
    }
    more = fill(batch);
    {
      std::lock_guard lock(mutex_);
      ready_.push_back(std::move(batch));
      sourceDone_ = !more;
    }
    changed_.notify_all();
  }
}

bool PrefetchCursor::Next(Row& row) {
  if (!reader_.joinable()) reader_ = std::thread([this] { readAhead(); });
  while (next_ == current_.size()) {
    std::unique_lock lock(mutex_);
    if (!current_.empty()) spare_.push_back(std::move(current_));
    current_.clear();
    next_ = 0;
    changed_.notify_all();
    changed_.wait(lock, [&] { return !ready_.empty() || sourceDone_; });
    if (ready_.empty()) {
      if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
      return false;
    }
    current_ = std::move(ready_.front());
    ready_.pop_front();
  }
  std::swap(row, current_[next_++]);  // the caller's old row goes back to the reader
  return true;
}

}  // namespace ff
