// Reads a converted table back from the server and compares it with its source, row by row
// and value by value (long values by length and MD5 digest).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "convert/SqlTablePlan.h"
#include "sql/SqlConnection.h"
#include "store/Storage.h"

struct VerifyResult {
  std::int64_t identical = 0;  // rows whose every value matched
  std::int64_t sourceRows = 0;
  std::int64_t serverRows = 0;
  std::string firstDifference;  // empty when none: "rad N, felt F: ..."

  bool AllIdentical() const {
    return firstDifference.empty() && identical == sourceRows && serverRows == sourceRows;
  }
};

class TableVerifier {
 public:
  // REQUIRES: plan was made from source's fields and table was loaded from it with the same
  // nullForBadDates; source and stop outlive the verifier.
  TableVerifier(ff::TableStorage& source, const SqlTablePlan& plan, bool nullForBadDates,
                const std::atomic<bool>& stop);

  // Throws sql::SqlError, EInterrupted or the source's ff::Error.
  VerifyResult Verify(sql::SqlConnection& db, const std::string& table);

 private:
  // Empty when the server's row matches the source's; else what differs.
  std::string compareRow(const ff::Row& row, std::int64_t number, const char* const* values,
                         const unsigned long* lengths);
  std::string compareValue(const TargetColumn& column, const ff::Value& v, const char* const* values,
                           const unsigned long* lengths, int& position);

  ff::TableStorage& source_;
  const SqlTablePlan& plan_;
  bool nullForBadDates_;
  const std::atomic<bool>& stop_;
  std::string scratch_;
};
