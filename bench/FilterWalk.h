// The store's side of the 1% filter walk that the store benchmarks measure against the
// C API of their back end.
#pragma once

#include <algorithm>
#include <cstdio>

#include "bench/BenchUtil.h"
#include "store/Table.h"

namespace bench {

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
