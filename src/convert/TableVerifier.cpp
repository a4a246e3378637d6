#include "convert/TableVerifier.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <string_view>
#include <thread>

#include "convert/TableLoader.h"
#include "convert/Md5.h"

namespace {

std::string_view cell(const char* const* values, const unsigned long* lengths, int i) {
  return values[i] ? std::string_view(values[i], lengths[i]) : std::string_view();
}

bool sameDouble(std::string_view expected, std::string_view actual) {
  double a = 0, b = 0;
  const bool okA = std::from_chars(expected.data(), expected.data() + expected.size(), a).ec == std::errc();
  const bool okB = std::from_chars(actual.data(), actual.data() + actual.size(), b).ec == std::errc();
  return okA && okB && a == b;
}

std::string shown(std::string_view text, bool null) {
  if (null) return "NULL";
  constexpr std::size_t kShown = 60;
  return "\"" + std::string(text.substr(0, kShown)) + (text.size() > kShown ? "…" : "") + "\"";
}

}  // namespace

TableVerifier::TableVerifier(ff::TableStorage& source, const SqlTablePlan& plan, bool nullForBadDates,
                             const std::atomic<bool>& stop)
    : source_(source), plan_(plan), nullForBadDates_(nullForBadDates), stop_(stop) {}

std::string TableVerifier::compareValue(const TargetColumn& column, const ff::Value& v, const char* const* values,
                                        const unsigned long* lengths, int& position) {
  scratch_.clear();
  const CellState state = AppendColumnText(scratch_, column.kind, v, nullForBadDates_);
  const bool expectNull = state != CellState::Value;
  const int at = position++;
  if (column.byDigest) {
    ++position;
    const bool serverNull = values[at] == nullptr;
    if (expectNull || serverNull) {
      return expectNull == serverNull ? "" : "kilde " + shown(scratch_, expectNull) + ", tjener " + shown("", serverNull);
    }
    const std::string length = std::to_string(scratch_.size());
    const std::string_view serverLength = cell(values, lengths, at), serverDigest = cell(values, lengths, at + 1);
    if (serverLength == length && serverDigest == Md5Hex(scratch_)) return "";
    return "kilde " + length + " byte, tjener " + std::string(serverLength) + " byte eller annen MD5";
  }
  const bool serverNull = values[at] == nullptr;
  const std::string_view actual = cell(values, lengths, at);
  if (expectNull || serverNull) {
    return expectNull == serverNull ? "" : "kilde " + shown(scratch_, expectNull) + ", tjener " + shown(actual, serverNull);
  }
  const bool same = column.kind == ColumnKind::Double ? sameDouble(scratch_, actual) : actual == scratch_;
  return same ? "" : "kilde " + shown(scratch_, false) + ", tjener " + shown(actual, false);
}

std::string TableVerifier::compareRow(const ff::Row& row, std::int64_t number, const char* const* values,
                                      const unsigned long* lengths) {
  if (cell(values, lengths, 0) != std::to_string(number)) {
    return "rad " + std::to_string(number) + ": tjeneren har nøkkelen " + shown(cell(values, lengths, 0), !values[0]);
  }
  int position = 1;
  const auto& columns = plan_.Columns();
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const ff::Value& v = i < row.values.size() ? row.values[i] : ff::Value{};
    const std::string difference = compareValue(columns[i], v, values, lengths, position);
    if (!difference.empty()) return "rad " + std::to_string(number) + ", felt " + columns[i].name + ": " + difference;
  }
  return "";
}

bool TableVerifier::hasDoubles() const {
  for (const auto& column : plan_.Columns()) {
    if (column.kind == ColumnKind::Double) return true;
  }
  return false;
}

void TableVerifier::compareValues(sql::SqlConnection& db, const std::string& table, std::int64_t first,
                                  std::int64_t last, VerifyResult& result) {
  auto rows = source_.ScanAt({}, {}, first - 1, ff::ScanDirection::Forward);
  ff::Row row;
  std::int64_t number = first - 1;
  db.ForEachRow(plan_.SelectSql(table, first, last), [&](const char* const* values, const unsigned long* lengths) {
    if (stop_) throw EInterrupted();
    ++result.serverRows;
    if ((last != 0 && number >= last) || !rows->Next(row)) return;
    ++result.sourceRows;
    const std::string difference = compareRow(row, ++number, values, lengths);
    if (difference.empty()) {
      ++result.identical;
    } else if (result.firstDifference.empty()) {
      result.firstDifference = difference;
    }
  });
  while ((last == 0 || number < last) && rows->Next(row)) {
    ++number;
    ++result.sourceRows;
  }
}

ChunkChecksum::Chunks TableVerifier::sourceSums(const std::atomic<bool>& abandon) {
  ChunkChecksum checksum(plan_, nullForBadDates_);
  ChunkChecksum::Chunks chunks;
  auto rows = source_.Scan({}, {}, std::nullopt, ff::ScanDirection::Forward);
  ff::Row row;
  std::int64_t number = 0;
  while (rows->Next(row)) {
    if (stop_ || abandon) throw EInterrupted();
    checksum.AddToChunks(chunks, ++number, row);
  }
  return chunks;
}

void TableVerifier::SumInParts(int parts, std::int64_t leastChunks,
                               std::function<std::unique_ptr<sql::SqlConnection>()> connect) {
  parts_ = parts;
  leastChunks_ = std::max<std::int64_t>(leastChunks, 1);
  connect_ = std::move(connect);
}

ChunkChecksum::Chunks TableVerifier::serverSums(sql::SqlConnection& db, const std::string& table) {
  const ChunkChecksum checksum(plan_, nullForBadDates_);
  const std::int64_t chunks = (source_.Count({}) + ChunkChecksum::kChunkRows - 1) / ChunkChecksum::kChunkRows;
  const std::int64_t parts = connect_ ? std::min<std::int64_t>(parts_, chunks / leastChunks_) : 1;
  if (parts <= 1) return checksum.ServerSums(db, table);
  // Part i sums the chunks from bound(i) on and before bound(i + 1); the first and the last are
  // open, so that keys outside 1..N are summed too.
  const auto bound = [&](std::int64_t i) -> std::optional<std::int64_t> {
    if (i == 0 || i == parts) return std::nullopt;
    return chunks * i / parts;
  };
  std::vector<ChunkChecksum::Chunks> sums(static_cast<std::size_t>(parts));
  std::vector<std::exception_ptr> failures(static_cast<std::size_t>(parts));
  std::vector<std::thread> others;
  for (std::int64_t i = 1; i < parts; ++i) {
    others.emplace_back([&, i] {
      try {
        sums[static_cast<std::size_t>(i)] = checksum.ServerSums(*connect_(), table, bound(i), bound(i + 1));
      } catch (...) {
        failures[static_cast<std::size_t>(i)] = std::current_exception();
      }
    });
  }
  try {
    sums[0] = checksum.ServerSums(db, table, std::nullopt, bound(1));
  } catch (...) {
    failures[0] = std::current_exception();
  }
  for (auto& t : others) t.join();
  ChunkChecksum::Chunks all;
  for (std::size_t i = 0; i < sums.size(); ++i) {
    if (failures[i]) std::rethrow_exception(failures[i]);
    all.insert(all.end(), sums[i].begin(), sums[i].end());
  }
  return all;
}

void TableVerifier::sumBothSides(sql::SqlConnection& db, const std::string& table, ChunkChecksum::Chunks& source,
                                 ChunkChecksum::Chunks& server) {
  // The source is summed on a thread of its own while the server sums its copy.
  std::atomic<bool> abandon{false};
  std::exception_ptr sourceFailure;
  std::thread summing([&] {
    try {
      source = sourceSums(abandon);
    } catch (...) {
      sourceFailure = std::current_exception();
    }
  });
  try {
    server = serverSums(db, table);
  } catch (...) {
    abandon = true;
    summing.join();
    throw;
  }
  summing.join();
  if (sourceFailure) std::rethrow_exception(sourceFailure);
}

VerifyResult TableVerifier::verifyBySums(sql::SqlConnection& db, const std::string& table,
                                         const ChunkChecksum::Chunks* summed) {
  ChunkChecksum::Chunks read;
  ChunkChecksum::Chunks serverChunks;
  if (summed) {
    serverChunks = serverSums(db, table);
  } else {
    sumBothSides(db, table, read, serverChunks);
  }
  const ChunkChecksum::Chunks& sourceChunks = summed ? *summed : read;

  VerifyResult result;
  std::vector<std::int64_t> differing;  // chunks whose sums differ, or that one side lacks
  auto mine = sourceChunks.cbegin(), theirs = serverChunks.cbegin();
  while (mine != sourceChunks.end() || theirs != serverChunks.end()) {
    const bool onlySource = theirs == serverChunks.end() || (mine != sourceChunks.end() && mine->first < theirs->first);
    const bool onlyServer = !onlySource && (mine == sourceChunks.end() || theirs->first < mine->first);
    if (onlySource) {
      result.sourceRows += mine->second.rows;
      differing.push_back((mine++)->first);
    } else if (onlyServer) {
      result.serverRows += theirs->second.rows;
      differing.push_back((theirs++)->first);
    } else {
      result.sourceRows += mine->second.rows;
      result.serverRows += theirs->second.rows;
      if (mine->second == theirs->second) {
        result.identical += mine->second.rows;
      } else {
        differing.push_back(mine->first);
      }
      ++mine;
      ++theirs;
    }
  }
  std::sort(differing.begin(), differing.end());
  for (std::int64_t c : differing) {
    VerifyResult values;
    const std::int64_t firstRow = c * ChunkChecksum::kChunkRows + 1;
    compareValues(db, table, firstRow, firstRow + ChunkChecksum::kChunkRows - 1, values);
    result.identical += values.identical;
    if (result.firstDifference.empty()) result.firstDifference = values.firstDifference;
  }
  result.chunksComparedByValue = static_cast<std::int64_t>(differing.size());
  return result;
}

VerifyResult TableVerifier::Verify(sql::SqlConnection& db, const std::string& table,
                                   std::optional<bool> serverShowsDoublesAlike,
                                   const ChunkChecksum::Chunks* sourceChunks) {
  VerifyResult result;
  const auto doublesAlike = [&] {
    return serverShowsDoublesAlike ? *serverShowsDoublesAlike : ChunkChecksum::ServerShowsDoublesAlike(db);
  };
  if (!hasDoubles() || doublesAlike()) {
    result = verifyBySums(db, table, sourceChunks);
  } else {
    compareValues(db, table, 1, 0, result);
    result.chunksComparedByValue = 1;
  }
  if (result.firstDifference.empty() && result.serverRows != result.sourceRows) {
    result.firstDifference = "kilden har " + std::to_string(result.sourceRows) + " rader, tjeneren " +
                             std::to_string(result.serverRows);
  }
  return result;
}
