// What a person sees of a conversion: a live progress line on a terminal, a summary table at
// the end, and the exit code.
#pragma once

#include <chrono>
#include <iosfwd>
#include <string>
#include <vector>

#include "convert/SqlConvert.h"

// Rewrites one progress line on `err`: table, rows done of total, rows/s and time left.
class ProgressLine : public ConvertObserver {
 public:
  explicit ProgressLine(std::ostream& err) : err_(err) {}
  void TableStarted(const std::string& table, std::int64_t rows) override;
  void RowsLoaded(const std::string& table, std::int64_t done, std::int64_t total) override;
  void TableFinished(const TableOutcome& outcome) override;

 private:
  std::ostream& err_;
  std::chrono::steady_clock::time_point started_, shown_;
};

// The summary table (table, rows read, rows written, BLOB bytes, values made NULL, seconds,
// verified), then a line per table where the key was renamed or the conversion failed, then
// the count of tables converted.
void PrintConvertSummary(std::ostream& out, const std::vector<TableOutcome>& outcomes, bool verified);

// 0 when every table converted (and verified when asked), 2 when a source table was damaged,
// else 1.
int ConvertExitCode(const std::vector<TableOutcome>& outcomes);

// The whole command: converts, with the progress line on `err` when showProgress, the
// summary on `out`; Ctrl-C stops it cleanly. Bad input is reported on `err` with exit code 2.
int RunConvertCommand(const ConvertOptions& options, const TargetConnector& connectTarget, bool showProgress,
                      std::ostream& out, std::ostream& err);
