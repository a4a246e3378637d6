#include "convert/ConvertReport.h"

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <mutex>
#include <ostream>
#include <sstream>
#include <stop_token>
#include <thread>

#include "convert/TableSql.h"
#include "store/Errors.h"
#include "text/Utf8Text.h"

namespace {

// Measured on a firm with a 1,000,000-row time table: the index build with the verification
// beside it takes about half as long as the load; the index build alone about a third.
constexpr double kRestPerLoadSecondVerified = 0.5;
constexpr double kRestPerLoadSecondUnverified = 0.3;

std::atomic<bool> stopRequested{false};  // lock-free, so the handler may set it
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int signal) {
  stopSignal = signal;
  stopRequested = true;
}

// SIGINT and SIGTERM raise the stop flag for the life of the object instead of ending the
// process; a second one ends it as usual.
class StopSignals {
 public:
  StopSignals() {
    stopRequested = false;
    stopSignal = 0;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
  }
  ~StopSignals() {
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  struct sigaction previousInt_ {};
  struct sigaction previousTerm_ {};
};

double secondsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// Pads to a width in characters (names may hold æøå).
std::string padded(const std::string& s, std::size_t width) {
  const std::size_t length = Utf8Length(s);
  return s + std::string(length < width ? width - length : 0, ' ');
}

// Row figures only for a table that was converted, its verification run to the end: a failed
// table's figures (all rows alike before a later step failed, or counted up to a difference)
// would read as a success beside its failure.
std::string verifiedText(const TableOutcome& o, bool verified) {
  if (o.stopped) return "AVBRUTT";
  if (!o.Converted()) return "FEILET";
  if (o.verified) {
    return std::to_string(o.verified->identical) + " av " + std::to_string(o.verified->sourceRows) + " rader like";
  }
  return verified ? "" : "ikke kontrollert";
}

std::string now() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// One field of the reject report: tabs and line ends would break its lines.
std::string reportField(const std::string& s) {
  std::string out = s;
  for (char& c : out) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return out;
}

// What the command does beside converting: the progress line, the log, the reject report.
class CommandObserver : public ConvertObserver {
 public:
  CommandObserver(ConvertObserver* progress, const ConvertFiles& files) : progress_(progress) {
    if (!files.log.empty()) log_.open(files.log, std::ios::app);
    if (!files.rejects.empty()) {
      rejects_.open(files.rejects, std::ios::trunc);
      rejects_ << "tabell\trad\tfelt\tverdi\tårsak\tutfall\n" << std::flush;
    }
  }

  void TableStarted(const std::string& table, std::int64_t rows) override {
    if (progress_) progress_->TableStarted(table, rows);
    Log(table + ": " + std::to_string(rows) + " rader påbegynt");
  }
  void RowsLoaded(const std::string& table, std::int64_t done, std::int64_t total) override {
    if (progress_) progress_->RowsLoaded(table, done, total);
  }
  void StepStarted(const std::string& table, ConvertStep step) override {
    if (progress_) progress_->StepStarted(table, step);
    Log(table + (step == ConvertStep::BuildingIndexes ? ": bygger indekser" : ": kontrollerer"));
  }
  void TableFinished(const TableOutcome& o) override {
    if (progress_) progress_->TableFinished(o);
    Log(o.table + ": " + (o.Converted() ? "konvertert, " + std::to_string(o.counts.rowsWritten) + " rader"
                                        : (o.stopped ? "AVBRUTT: " : "FEILET: ") + o.error));
  }
  void ValueRejected(const std::string& table, const ValueRejection& r) override {
    std::lock_guard lock(mutex_);
    ++rejected_;
    if (!rejects_.is_open()) return;
    rejects_ << reportField(table) << '\t' << r.row << '\t' << reportField(r.field) << '\t' << reportField(r.value)
             << '\t' << reportField(r.reason) << '\t' << (r.madeNull ? "gjort NULL" : "avvist") << '\n';
  }

  void Log(const std::string& text) {
    if (log_.is_open()) log_ << now() << "  " << text << '\n' << std::flush;
  }
  std::int64_t Rejected() {
    std::lock_guard lock(mutex_);
    rejects_.flush();
    return rejected_;
  }
  bool LogOpen() const { return log_.is_open(); }
  bool RejectsOpen() const { return rejects_.is_open(); }

 private:
  ConvertObserver* progress_;
  std::ofstream log_;
  std::mutex mutex_;
  std::ofstream rejects_;
  std::int64_t rejected_ = 0;
};

// Calls `tick` every second, on a thread of its own, for the life of the object.
class EverySecond {
 public:
  explicit EverySecond(std::function<void()> tick)
      : thread_([this, tick = std::move(tick)](std::stop_token stop) {
          std::mutex mutex;
          std::unique_lock lock(mutex);
          while (!wake_.wait_for(lock, stop, std::chrono::seconds(1), [] { return false; })) tick();
        }) {}

 private:
  std::condition_variable_any wake_;
  std::jthread thread_;  // last: stopped and joined before wake_ goes
};

// The time the index build and verification take per second of load, before a table of the
// run has shown it.
double firstGuessOfRest(bool verify) { return verify ? kRestPerLoadSecondVerified : kRestPerLoadSecondUnverified; }

std::string signalName(int signal) { return signal == SIGINT ? "Ctrl-C (SIGINT)" : "SIGTERM"; }

void printStopped(std::ostream& out, const std::vector<TableOutcome>& outcomes, int signal) {
  std::size_t notStarted = 0, underWay = 0;
  for (const auto& o : outcomes) {
    const bool started = o.counts.rowsRead != 0 || o.seconds != 0;
    notStarted += o.stopped && !started;
    underWay += o.stopped && started;
  }
  out << "Avbrutt med " << signalName(signal) << ": "
      << (underWay > 1 ? "de " + std::to_string(underWay) + " tabellene under arbeid er forlatt uendret"
                       : std::string("tabellen under arbeid er forlatt uendret"))
      << " på serveren, " << notStarted << " tabeller ble ikke påbegynt. Kjør kommandoen igjen for å konvertere resten\n";
}

}  // namespace

ProgressLine::ProgressLine(std::ostream& err, double restPerLoadSecond, Clock clock)
    : err_(err), firstGuess_(restPerLoadSecond), clock_(std::move(clock)) {}

std::vector<ProgressLine::UnderWay>::iterator ProgressLine::find(const std::string& table) {
  return std::find_if(underWay_.begin(), underWay_.end(), [&](const UnderWay& u) { return u.table == table; });
}

void ProgressLine::TableStarted(const std::string& table, std::int64_t rows) {
  std::lock_guard lock(mutex_);
  underWay_.push_back({table, clock_(), {}, 0, rows, std::nullopt});
  show();
}

void ProgressLine::RowsLoaded(const std::string& table, std::int64_t done, std::int64_t total) {
  std::lock_guard lock(mutex_);
  const auto at = find(table);
  if (at == underWay_.end()) return;
  at->done = done;
  at->total = total;
  if (done != 0 && done != total && clock_() - shown_ < std::chrono::milliseconds(200)) return;
  show();
}

void ProgressLine::StepStarted(const std::string& table, ConvertStep step) {
  std::lock_guard lock(mutex_);
  const auto at = find(table);
  if (at == underWay_.end()) return;
  if (!at->step) at->loaded = clock_();
  at->step = step;
  show();
}

void ProgressLine::TableFinished(const TableOutcome& outcome) {
  std::lock_guard lock(mutex_);
  const auto at = find(outcome.table);
  if (at == underWay_.end()) return;
  if (outcome.Converted() && at->step) {
    loadSeconds_ += secondsBetween(at->started, at->loaded);
    restSeconds_ += secondsBetween(at->loaded, clock_());
  }
  underWay_.erase(at);
  show();
}

void ProgressLine::Refresh() {
  std::lock_guard lock(mutex_);
  if (!underWay_.empty()) show();
}

double ProgressLine::restPerLoadSecond() const {
  // Loads of less than a second say little of how long the steps after them take.
  return loadSeconds_ >= 1 ? restSeconds_ / loadSeconds_ : firstGuess_;
}

double ProgressLine::secondsLeft(const UnderWay& u, TimePoint now) const {
  if (u.step) {
    const double left = secondsBetween(u.started, u.loaded) * restPerLoadSecond() - secondsBetween(u.loaded, now);
    return left >= 0.5 ? left : -1;
  }
  const double seconds = secondsBetween(u.started, now);
  if (u.done <= 0 || seconds <= 0) return -1;
  const double rate = static_cast<double>(u.done) / seconds;
  return static_cast<double>(u.total - u.done) / rate + static_cast<double>(u.total) / rate * restPerLoadSecond();
}

std::string ProgressLine::describe(const UnderWay& u, TimePoint now) const {
  char text[200];
  if (u.step) {
    std::snprintf(text, sizeof text, "  %s (%.0f s)",
                  *u.step == ConvertStep::BuildingIndexes ? "bygger indekser" : "kontrollerer",
                  secondsBetween(u.loaded, now));
  } else {
    const double seconds = secondsBetween(u.started, now);
    std::snprintf(text, sizeof text, "  %lld av %lld rader  %.0f rader/s", static_cast<long long>(u.done),
                  static_cast<long long>(u.total), seconds > 0 ? static_cast<double>(u.done) / seconds : 0.0);
  }
  std::string line = u.table + text;
  if (const double left = secondsLeft(u, now); left >= 0) {
    std::snprintf(text, sizeof text, "  ca. %.0f s igjen", left);
    line += text;
  }
  return line;
}

void ProgressLine::show() {
  const TimePoint now = clock_();
  shown_ = now;
  err_ << "\r\x1b[K";
  for (std::size_t i = 0; i < underWay_.size(); ++i) err_ << (i ? "  |  " : "") << describe(underWay_[i], now);
  err_ << std::flush;
}

void PrintConvertSummary(std::ostream& out, const std::vector<TableOutcome>& outcomes, bool verified) {
  std::size_t width = 6;
  for (const auto& o : outcomes) width = std::max(width, Utf8Length(o.table));
  out << padded("Tabell", width) << "  " << std::setw(10) << "Lest" << std::setw(10) << "Skrevet" << std::setw(12)
      << "BLOB-byte" << std::setw(11) << "Gjort NULL" << std::setw(9) << "Sekunder" << "  Kontrollert\n";
  int converted = 0;
  for (const auto& o : outcomes) {
    converted += o.Converted();
    out << padded(o.table, width) << "  " << std::setw(10) << o.counts.rowsRead << std::setw(10)
        << o.counts.rowsWritten << std::setw(12) << o.counts.blobBytes << std::setw(11) << o.counts.madeNull
        << std::setw(9) << std::fixed << std::setprecision(2) << o.seconds << "  " << verifiedText(o, verified)
        << '\n';
  }
  for (const auto& o : outcomes) {
    if (o.keyName != "id") {
      out << o.table << ": tabellen har et felt som heter id, så nøkkelen heter " << o.keyName << '\n';
    }
    for (const auto& note : o.notes) out << o.table << ": " << note << '\n';
    if (!o.leftover.empty()) {
      out << o.table << ": konvertert, men den gamle kopien " << WorkTableName(kReplacedPrefix, o.table)
          << " ble ikke fjernet (" << o.leftoverReason << "). Fjern den med: " << o.leftover << '\n';
    }
    if (!o.Converted()) out << o.table << (o.stopped ? ": AVBRUTT: " : ": FEILET: ") << o.error << '\n';
  }
  out << converted << " av " << outcomes.size() << " tabeller konvertert\n";
}

void PrintWorkTablesLeft(std::ostream& out, const std::vector<std::string>& lines) {
  for (const auto& line : lines) out << line << '\n';
}

int ConvertExitCode(const std::vector<TableOutcome>& outcomes) {
  int code = 0;
  for (const auto& o : outcomes) {
    if (o.damagedSource) return 2;
    if (!o.Converted()) code = 1;
  }
  return code;
}

int RunConvertCommand(const ConvertOptions& options, const TargetConnector& connectTarget, bool showProgress,
                      const ConvertFiles& files, std::ostream& out, std::ostream& err) {
  StopSignals signals;
  ProgressLine progress(err, firstGuessOfRest(options.verify));
  CommandObserver observer(showProgress ? &progress : nullptr, files);
  std::optional<EverySecond> ticking;
  if (showProgress) ticking.emplace([&progress] { progress.Refresh(); });
  if (!files.log.empty() && !observer.LogOpen()) err << "kvist-ff: kan ikke skrive loggen " << files.log << '\n';
  if (!files.rejects.empty() && !observer.RejectsOpen()) {
    err << "kvist-ff: kan ikke skrive avvisningsrapporten " << files.rejects << '\n';
  }
  observer.Log("konvertering av " + options.fromAlias + " startet");
  std::vector<TableOutcome> outcomes;
  std::ostringstream report;
  try {
    SqlConverter converter(options, connectTarget, observer, stopRequested);
    outcomes = converter.Run();
    PrintWorkTablesLeft(report, converter.WorkTablesLeft());
  } catch (const EConvertInput& e) {
    err << "kvist-ff: " << e.what() << '\n';
    observer.Log(std::string("avvist før start: ") + e.what());
    return 2;
  }
  PrintConvertSummary(report, outcomes, options.verify);
  if (const std::int64_t rejected = observer.Rejected(); rejected > 0) {
    report << rejected << " verdier ble avvist eller gjort NULL"
           << (files.rejects.empty() ? "" : "; alle står i " + files.rejects) << '\n';
  }
  if (stopSignal != 0) printStopped(report, outcomes, stopSignal);
  const int code = stopSignal != 0 ? 128 + stopSignal : ConvertExitCode(outcomes);
  out << report.str();
  if (!files.log.empty()) out << "Logg: " << files.log << '\n';
  observer.Log("\n" + report.str() + "avsluttet med kode " + std::to_string(code));
  return code;
}

int RunConvertPlan(const ConvertOptions& options, const TargetConnector& connectTarget, std::ostream& out,
                   std::ostream& err) {
  ConvertObserver none;
  const std::atomic<bool> never{false};
  try {
    const SqlConverter converter(options, connectTarget, none, never);
    out << "Plan for " << options.fromAlias << " (sortering " << options.collation
        << "); ingenting er endret på serveren\n";
    for (const auto& table : converter.Tables()) {
      std::int64_t rows = 0;
      try {
        const SqlTablePlan plan = converter.Plan(table, rows);
        out << '\n' << table << " (" << rows << " rader) blir tabellen " << MySqlName(table) << ":\n";
        out << "  " << padded(plan.KeyName(), 20) << " INT AUTO_INCREMENT PRIMARY KEY"
            << (plan.KeyRenamed() ? " (tabellen har et felt som heter id, så nøkkelen heter " + plan.KeyName() + ")"
                                  : std::string())
            << '\n';
        for (const auto& c : plan.Columns()) out << "  " << padded(c.name, 20) << " " << c.sqlType << '\n';
        for (const auto& index : plan.Indexes()) out << "  indeks " << index << '\n';
      } catch (const ff::Error& e) {
        out << '\n' << table << ": kan ikke leses: " << e.what() << '\n';
      }
    }
  } catch (const EConvertInput& e) {
    err << "kvist-ff: " << e.what() << '\n';
    return 2;
  }
  return 0;
}
