#include "store/Clock.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "store/Field.h"

namespace ff {

namespace {

std::function<double()>& clockOverride() {
  static std::function<double()> fn;
  return fn;
}

double systemNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + ms / 1000.0;
  return encodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) + seconds / 86400.0;
}

}  // namespace

double Now() { return clockOverride() ? clockOverride()() : systemNow(); }

double Date() { return std::floor(Now()); }

double Time() {
  const double n = Now();
  return n - std::floor(n);
}

void SetClock(std::function<double()> now) { clockOverride() = std::move(now); }

}  // namespace ff
