// The store's side of the steps that the store benchmarks measure against the C API of
// their back end: open + RecordCount + Last, and the 1% filter walk.
#pragma once

#include <algorithm>
#include <cstdio>

#include "bench/BenchUtil.h"
#include "store/Table.h"

namespace bench {

// RecordCount, then Last, on an opened bench table. Returns the count.
inline long countThenLast(ff::TffTable& t) {
  const long rows = static_cast<long>(t.RecordCount());
  t.Last();
  return rows;
}

// Walks the rows of PROSJEKTNR=42 of an opened bench table to the end, reading BELOP on each.
// Returns the rows walked; keeps the highest resident memory seen in rssWalking (KiB).
inline long walkFilteredRows(ff::TffTable& t, long& rssWalking) {
  t.SetFilter("PROSJEKTNR=42");
  t.SetFiltered(true);
  double sink = 0;
  long walked = 0;
  for (; !t.Eof(); t.Next(), ++walked) sink += t.FieldByName("BELOP").AsFloat();
  rssWalking = std::max(rssWalking, procStatusKiB("VmRSS"));
  if (sink < 0) std::puts("");
  return walked;
}

}  // namespace bench
