// What a person sees of a conversion: a live progress line on a terminal, a summary table at
// the end, and the exit code.
#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "convert/SqlConvert.h"

// Rewrites one progress line on `err`: for each table under way, its rows done of total and
// rows/s while it loads, then the step it is at, and the time left for the whole table: its
// load, index build and verification. The time the steps after the load take is guessed per
// second of load, from the tables finished in this run, at first from restPerLoadSecond.
class ProgressLine : public ConvertObserver {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  using Clock = std::function<TimePoint()>;
  ProgressLine(std::ostream& err, double restPerLoadSecond, Clock clock = std::chrono::steady_clock::now);
  void TableStarted(const std::string& table, std::int64_t rows) override;
  void RowsLoaded(const std::string& table, std::int64_t done, std::int64_t total) override;
  void StepStarted(const std::string& table, ConvertStep step) override;
  void TableFinished(const TableOutcome& outcome) override;
  // Shows the line again as time has moved on, for a step that sends no news; may be called
  // from another thread.
  void Refresh();

 private:
  struct UnderWay {
    std::string table;
    TimePoint started, loaded;  // loaded: when the first step after the load began
    std::int64_t done = 0, total = 0;
    std::optional<ConvertStep> step;
  };
  std::vector<UnderWay>::iterator find(const std::string& table);
  double restPerLoadSecond() const;
  // Negative when there is no telling.
  double secondsLeft(const UnderWay& u, TimePoint now) const;
  std::string describe(const UnderWay& u, TimePoint now) const;
  void show();  // REQUIRES: mutex_ held

  std::mutex mutex_;
  std::ostream& err_;
  const double firstGuess_;
  const Clock clock_;
  std::vector<UnderWay> underWay_;  // in the order they started
  TimePoint shown_;
  double loadSeconds_ = 0, restSeconds_ = 0;  // of the tables finished after their steps
};

// The summary table (table, rows read, rows written, BLOB bytes, values made NULL, seconds,
// verified), then a line per table where the key was renamed or the conversion failed, then
// the count of tables converted.
void PrintConvertSummary(std::ostream& out, const std::vector<TableOutcome>& outcomes, bool verified);

// What an earlier run left on the server and what was done about it, one line each.
void PrintWorkTablesLeft(std::ostream& out, const std::vector<std::string>& lines);

// 0 when every table converted (and verified when asked), 2 when a source table was damaged,
// else 1.
int ConvertExitCode(const std::vector<TableOutcome>& outcomes);

// Files a conversion writes beside its output; an empty name: none.
struct ConvertFiles {
  std::string log;      // what the run did, appended to
  std::string rejects;  // every value refused or made NULL: table, row, field, value, reason
};

// The whole command: converts, with the progress line on `err` when showProgress, the
// summary on `out` and in the log. Ctrl-C (SIGINT) or SIGTERM abandons the table under way
// and starts no other; the summary then says so and the exit code is 128 + the signal's
// number (a second one ends the process at once). Bad input is reported on `err` with exit
// code 2.
int RunConvertCommand(const ConvertOptions& options, const TargetConnector& connectTarget, bool showProgress,
                      const ConvertFiles& files, std::ostream& out, std::ostream& err);

// --dry-run: checks the input and the server as a conversion does, then prints for each table
// what it would become (key, columns with their types, indexes); nothing on the server is
// changed. 0, or 2 for bad input (on `err`).
int RunConvertPlan(const ConvertOptions& options, const TargetConnector& connectTarget, std::ostream& out,
                   std::ostream& err);
