// Forked children as other processes (workstations) of a test, a pipe to say "done" between
// a parent and its child, the end of a child the test left running, and waiting for the
// locks of a killed child to be freed.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <functional>
#include <thread>

#include "store/Errors.h"

// A pipe to say "done" between a parent and its forked child.
class Signal {
 public:
  Signal() { EXPECT_EQ(pipe(fds_), 0); }
  ~Signal() {
    close(fds_[0]);
    close(fds_[1]);
  }
  void post() { EXPECT_EQ(write(fds_[1], "x", 1), 1); }
  void wait() {
    char c;
    ASSERT_EQ(read(fds_[0], &c, 1), 1);
  }

 private:
  int fds_[2];
};

// Runs body in a child process that ends with _exit (never running the parent's destructors
// on the parent's connections); exit code 0 when body returned, 1 when it threw (what it
// threw goes to standard error).
inline pid_t forkChild(const std::function<void()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    int code = 0;
    try {
      body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "Barneprosessen: %s\n", e.what());
      code = 1;
    } catch (...) {
      code = 1;
    }
    _exit(code);
  }
  return pid;
}

inline int exitCodeOf(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Kills the child if it still runs when the test ends, passed or failed, so that no child
// waits forever on a parent that is gone.
class ReapedAtEnd {
 public:
  explicit ReapedAtEnd(pid_t child) : child_(child) {}
  ~ReapedAtEnd() {
    if (waitpid(child_, nullptr, WNOHANG) != 0) return;  // ended and reaped already
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
  }
  ReapedAtEnd(const ReapedAtEnd&) = delete;
  ReapedAtEnd& operator=(const ReapedAtEnd&) = delete;

 private:
  pid_t child_;
};

// Runs f until it no longer throws ECannotOpen, 0.1 s apart for at most `within`; false when
// it never ran through. The server frees a killed holder's locks when it notices the
// connection is gone: at once on a close, after its idle timeout for a hung one.
inline bool untilFreed(const std::function<void()>& f, std::chrono::milliseconds within = std::chrono::seconds(5)) {
  constexpr std::chrono::milliseconds kPause{100};
  for (std::chrono::milliseconds waited{0};; waited += kPause) {
    try {
      f();
      return true;
    } catch (const ff::ECannotOpen&) {
      if (waited >= within) return false;
      std::this_thread::sleep_for(kPause);
    }
  }
}
