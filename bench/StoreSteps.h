// The store's side of the steps that the store benchmarks measure against the C API of
// their back end: open + RecordCount + Last, and the 1% filter walk.
#pragma once

#include <algorithm>
#include <cstdio>
#include <tuple>

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

// What both store benchmarks measure and report: open + RecordCount + Last, and the 1%
// filter walk, each the store's against the C API of its back end.
struct StoreStepFigures {
  double openStore = 0, openBase = 0, filterStore = 0, filterBase = 0;  // seconds
  long storeRows = 0, walkedStore = 0, walkedBase = 0;
  long rssBefore = 0, rssWalking = 0;  // KiB
};

// openTable(TffTable&) opens the bench table; baseOpen() does the C API's steps of opening;
// baseWalk() walks the C API's filtered rows and returns how many it walked.
template <class OpenTable, class BaseOpen, class BaseWalk>
StoreStepFigures measureStoreSteps(int openRounds, int walkRounds, OpenTable openTable, BaseOpen baseOpen,
                                   BaseWalk baseWalk) {
  StoreStepFigures f;
  std::tie(f.openStore, f.openBase) = compare(
      openRounds,
      [&] {
        ff::TffTable t;
        openTable(t);
        f.storeRows = countThenLast(t);
      },
      baseOpen);
  f.rssBefore = procStatusKiB("VmRSS");
  std::tie(f.filterStore, f.filterBase) = compare(
      walkRounds,
      [&] {
        ff::TffTable t;
        openTable(t);
        f.walkedStore = walkFilteredRows(t, f.rssWalking);
      },
      [&] { f.walkedBase = baseWalk(); });
  return f;
}

inline void reportStoreSteps(const StoreStepFigures& f, const char* baseline, double goal) {
  std::printf("rows: %ld; filtered rows walked: store %ld, %s %ld\n", f.storeRows, f.walkedStore, baseline,
              f.walkedBase);
  report("server: open + RecordCount + Last, 1M", f.openStore, f.openBase, goal);
  report("server: filter 1% on an index + walk, 1M", f.filterStore, f.filterBase, goal);
  std::printf("resident memory: %.1f MiB before the walks, %.1f MiB at most while walking (goal < 64 MiB)\n",
              f.rssBefore / 1024.0, f.rssWalking / 1024.0);
}

}  // namespace bench
