// Runs a piece of a rule with a table (or its data source) put aside for the moment, and
// puts it back afterwards whether the piece succeeded or threw.
#pragma once

#include <optional>
#include <type_traits>
#include <utility>

#include "store/DataSource.h"
#include "store/Table.h"

namespace rules {

// Returns body()'s result after running leave(). When body throws, leave() runs and the
// body's failure passes on; a failure of leave() itself passes on as well.
template <class Body, class Leave>
auto ThenLeave(Body&& body, Leave&& leave) -> decltype(body()) {
  using Result = decltype(body());
  if constexpr (std::is_void_v<Result>) {
    try {
      body();
    } catch (...) {
      leave();
      throw;
    }
    leave();
  } else {
    std::optional<Result> result;
    try {
      result.emplace(body());
    } catch (...) {
      leave();
      throw;
    }
    leave();
    return std::move(*result);
  }
}

// Runs body with the table's filter off, so that it sees every row; a filter that was on is
// switched on again (with its text unchanged) afterwards.
template <class Body>
auto OverWholeTable(ff::TffTable& table, Body&& body) -> decltype(body()) {
  if (!table.Filtered()) return body();
  table.SetFiltered(false);
  return ThenLeave(std::forward<Body>(body), [&table] { table.SetFiltered(true); });
}

// Runs body with the table's display updates stopped (nested like DisableControls).
template <class Body>
auto WithControlsDisabled(ff::TffTable& table, Body&& body) -> decltype(body()) {
  table.DisableControls();
  return ThenLeave(std::forward<Body>(body), [&table] { table.EnableControls(); });
}

// Runs body with the data source switched off, so that neither the windows nor the detail
// tables bound to it follow what body does; it is switched on again afterwards.
template <class Body>
auto WithSourceOff(ff::TDataSource& source, Body&& body) -> decltype(body()) {
  source.SetEnabled(false);
  return ThenLeave(std::forward<Body>(body), [&source] { source.SetEnabled(true); });
}

}  // namespace rules
