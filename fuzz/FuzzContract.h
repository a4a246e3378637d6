// What the fuzz targets share: a broken contract stops the run with its reason and the input
// is kept as a crash, so a contract failure counts like any other crash.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

inline void Require(bool holds, const char* contract, const std::string& detail = {}) {
  if (holds) return;
  std::fprintf(stderr, "CONTRACT FAILED: %s\n%s\n", contract, detail.c_str());
  std::abort();
}
