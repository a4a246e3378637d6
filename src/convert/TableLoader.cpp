#include "convert/TableLoader.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <ostream>
#include <thread>

namespace {

constexpr std::size_t kChunkBytes = 512 * 1024;
constexpr std::size_t kChunksAhead = 4;

struct Chunk {
  std::string bytes;
  std::int64_t rowsUpTo = 0;  // rows encoded up to the end of this chunk
};

// Escapes what LOAD DATA's default format gives a meaning to.
void appendEscaped(std::string& out, const std::string& s) {
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\0': out += "\\0"; break;
      default: out += c;
    }
  }
}

}  // namespace

// Chunks of encoded rows from the reading thread to the server, at most kChunksAhead waiting.
class ChunkQueue {
 public:
  // False when the consumer has gone (the load failed): the producer stops.
  bool Push(Chunk&& chunk) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return closed_ || chunks_.size() < kChunksAhead; });
    if (closed_) return false;
    chunks_.push_back(std::move(chunk));
    changed_.notify_all();
    return true;
  }
  // The producer is done; failure (may be null) is what stopped it.
  void Finish(std::exception_ptr failure) {
    std::lock_guard lock(mutex_);
    finished_ = true;
    failure_ = failure;
    changed_.notify_all();
  }
  // Next chunk; false at the end. Rethrows what stopped the producer.
  bool Pop(Chunk& chunk) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return finished_ || !chunks_.empty(); });
    if (chunks_.empty()) {
      if (failure_) std::rethrow_exception(failure_);
      return false;
    }
    chunk = std::move(chunks_.front());
    chunks_.pop_front();
    changed_.notify_all();
    return true;
  }
  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Chunk> chunks_;
  bool finished_ = false;
  bool closed_ = false;
  std::exception_ptr failure_;
};

TableLoader::TableLoader(ff::TableStorage& source, const SqlTablePlan& plan, bool nullForBadDates,
                         const std::atomic<bool>& stop, RejectionSink onRejected, RowSink onRow)
    : source_(source),
      plan_(plan),
      nullForBadDates_(nullForBadDates),
      stop_(stop),
      onRejected_(std::move(onRejected)),
      onRow_(std::move(onRow)) {}

void TableLoader::reject(std::int64_t number, const TargetColumn& column, const EValueRefused& refused, bool madeNull) {
  if (onRejected_) onRejected_({number, column.name, refused.Value(), refused.Reason(), madeNull});
  if (!madeNull && !firstRefused_) {
    firstRefused_.emplace("rad " + std::to_string(number) + ", felt " + column.name, refused);
  }
}

void TableLoader::appendValue(std::string& out, std::int64_t number, const TargetColumn& column, const ff::Value& v,
                              LoadCounts& counts) {
  CellState state = CellState::Null;
  try {
    state = AppendColumnText(out, column.kind, v, nullForBadDates_);
  } catch (const EValueRefused& e) {
    reject(number, column, e, false);
  }
  if (state != CellState::Value) out += "\\N";
  if (state != CellState::MadeNull) return;
  ++counts.madeNull;
  try {  // once more, strictly, for what the value was and why it could not go
    std::string strict;
    AppendColumnText(strict, column.kind, v, false);
  } catch (const EValueRefused& e) {
    reject(number, column, e, true);
  }
}

void TableLoader::appendRow(std::string& out, std::int64_t number, const ff::Row& row, LoadCounts& counts) {
  out += std::to_string(number);
  const auto& columns = plan_.Columns();
  for (std::size_t i = 0; i < columns.size(); ++i) {
    out += '\t';
    const ff::Value& v = i < row.values.size() ? row.values[i] : ff::Value{};
    const ColumnKind kind = columns[i].kind;
    if ((kind == ColumnKind::Text || kind == ColumnKind::Binary) && !ff::isNull(v)) {
      const auto* bytes = std::get_if<std::string>(&v);
      const std::string& text = bytes ? *bytes : (scratch_ = ff::valueToString(v));
      appendEscaped(out, text);
      if (columns[i].byDigest) counts.blobBytes += static_cast<std::int64_t>(text.size());
      continue;
    }
    appendValue(out, number, columns[i], v, counts);
  }
  out += '\n';
}

void TableLoader::encodeRows(const ChunkSink& push, LoadCounts& counts) {
  auto rows = source_.Scan({}, {}, std::nullopt, ff::ScanDirection::Forward);
  ff::Row row;
  std::string chunk;
  while (rows->Next(row)) {
    if (stop_) throw EInterrupted();
    appendRow(chunk, ++counts.rowsRead, row, counts);
    if (firstRefused_) {
      chunk.clear();  // the table fails: nothing more to send, only the other refusals to find
      continue;
    }
    if (onRow_) onRow_(counts.rowsRead, row);
    if (chunk.size() >= kChunkBytes) {
      if (!push(std::move(chunk), counts.rowsRead)) return;
      chunk = std::string();
    }
  }
  if (firstRefused_) throw *firstRefused_;
  if (!chunk.empty()) push(std::move(chunk), counts.rowsRead);
}

LoadCounts TableLoader::WriteText(std::ostream& out) {
  LoadCounts counts;
  const auto write = [&](std::string&& bytes, std::int64_t) {
    return static_cast<bool>(out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())));
  };
  encodeRows(write, counts);
  return counts;
}

LoadCounts TableLoader::Load(sql::SqlConnection& db, const std::string& table,
                             const std::function<void(std::int64_t)>& onProgress) {
  ChunkQueue queue;
  LoadCounts counts;
  std::thread reader([&] {
    try {
      encodeRows([&](std::string&& bytes, std::int64_t rowsUpTo) { return queue.Push({std::move(bytes), rowsUpTo}); },
                 counts);
      queue.Finish(nullptr);
    } catch (...) {
      queue.Finish(std::current_exception());
    }
  });
  Chunk current;
  std::size_t offset = 0;
  const auto feed = [&](char* buffer, std::size_t size) -> std::size_t {
    while (offset == current.bytes.size()) {
      if (!queue.Pop(current)) return 0;
      offset = 0;
      onProgress(current.rowsUpTo);
    }
    const std::size_t n = std::min(size, current.bytes.size() - offset);
    std::memcpy(buffer, current.bytes.data() + offset, n);
    offset += n;
    return n;
  };
  try {
    counts.rowsWritten = db.LoadLocal(plan_.LoadSql(table), feed);
  } catch (...) {
    queue.Close();
    reader.join();
    throw;
  }
  queue.Close();
  reader.join();
  return counts;
}
