// Small helpers shared by the benchmark programs: timing, medians and resident memory.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// Seconds taken by fn.
inline double timeOnce(const std::function<void()>& fn) {
  const auto start = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Runs candidate and baseline alternately `rounds` times; returns their median times.
inline std::pair<double, double> compare(int rounds, const std::function<void()>& candidate,
                                         const std::function<void()>& baseline) {
  std::vector<double> a, b;
  for (int i = 0; i < rounds; ++i) {
    a.push_back(timeOnce(candidate));
    b.push_back(timeOnce(baseline));
  }
  return {median(a), median(b)};
}

// A value of /proc/self/status in KiB ("VmRSS", "VmHWM"); 0 when unknown.
inline long procStatusKiB(const std::string& key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
  }
  return 0;
}

// Runs generate in a child process, so that its memory does not count against what is measured
// afterwards; exits the program when it fails.
inline void generateInChild(const std::function<void()>& generate) {
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    generate();
    std::_Exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "generation failed\n");
    std::exit(1);
  }
}

struct ToolRun {
  double seconds = 0;
  long peakKiB = 0;  // the child's peak resident memory
  int exitCode = -1;
};

// Runs a program (its standard output thrown away) and waits for it.
inline ToolRun runTool(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  ToolRun run;
  const auto start = std::chrono::steady_clock::now();
  pid_t child = 0;
  if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    run.peakKiB = usage.ru_maxrss;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

// A figure: the candidate's time against its baseline's. goal is the highest ratio allowed
// (0: none). Besides the line for a person, a tab-separated "FIGURE" line for scripts/bench.sh.
inline void report(const std::string& what, double candidate, double baseline, double goal) {
  const double ratio = candidate / baseline;
  char goalText[32] = "-";
  if (goal > 0) std::snprintf(goalText, sizeof goalText, "<= %g", goal);
  std::printf("%-48s %9.3f ms  baseline %9.3f ms  ratio %5.2f  (goal %s)\n", what.c_str(), candidate * 1000,
              baseline * 1000, ratio, goalText);
  std::printf("FIGURE\t%s\t%.4f\t%.4f\t%.4f\t%g\n", what.c_str(), candidate * 1000, baseline * 1000, ratio, goal);
  std::fflush(stdout);
}

// A figure of memory: the peak resident memory in MiB against its limit (goal: the ratio at
// most 1), in the same "FIGURE" line as report's, so that scripts/bench.sh shows it beside the
// times (its columns then hold MiB).
inline void reportMemory(const std::string& what, long peakKiB, long limitKiB) {
  const double mib = peakKiB / 1024.0, limit = limitKiB / 1024.0;
  std::printf("%-48s %9.1f MiB  limit %9.1f MiB  ratio %5.2f  (goal <= 1)\n", what.c_str(), mib, limit, mib / limit);
  std::printf("FIGURE\t%s (MiB, limit %.0f MiB)\t%.4f\t%.4f\t%.4f\t1\n", what.c_str(), limit, mib, limit, mib / limit);
  std::fflush(stdout);
}

// A benchmark's arguments: positional ones and --full (long settings; short ones by default).
struct Args {
  std::vector<std::string> positional;
  bool full = false;

  std::string at(std::size_t i, const std::string& otherwise) const {
    return i < positional.size() ? positional[i] : otherwise;
  }
};

// Reads the arguments. -h or --help prints the usage and ends the program before it runs
// anything; an unknown option prints it and ends with 2.
inline Args parseArgs(int argc, char** argv, const char* usage) {
  Args args;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      std::printf("%s", usage);
      std::exit(0);
    }
    if (a == "--full") {
      args.full = true;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "unknown option %s\n%s", a.c_str(), usage);
      std::exit(2);
    } else {
      args.positional.push_back(a);
    }
  }
  return args;
}

}  // namespace bench
