// A source of rows for bulk loads: (NR, NAVN) numbered from 0, failing or watched on the way.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "store/Errors.h"
#include "store/Storage.h"

// Hands out `rows` rows; throws once it has handed out failAfter rows; calls before(n), when
// given, before it hands out row n.
class NumberedRows : public ff::RowCursor {
 public:
  explicit NumberedRows(int rows, int failAfter = -1, std::function<void(int)> before = {})
      : rows_(rows), failAfter_(failAfter), before_(std::move(before)) {}
  bool Next(ff::Row& row) override {
    if (given_ == failAfter_) throw ff::ECannotOpen("kilden er skadet");
    if (given_ == rows_) return false;
    if (before_) before_(given_);
    row.values = {ff::Value{std::int64_t{given_}}, ff::Value{"Navn " + std::to_string(given_ % 10)}};
    ++given_;
    return true;
  }

 private:
  int rows_, failAfter_, given_ = 0;
  std::function<void(int)> before_;
};
