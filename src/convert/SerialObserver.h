// Passes every call on to another observer one at a time, so that an observer written for one
// converting thread (a progress line, a log) stays whole when several tables convert at once.
#pragma once

#include <mutex>

#include "convert/SqlConvert.h"

class SerialObserver : public ConvertObserver {
 public:
  // REQUIRES: inner outlives this observer.
  explicit SerialObserver(ConvertObserver& inner) : inner_(inner) {}

  void TableStarted(const std::string& table, std::int64_t rows) override;
  void RowsLoaded(const std::string& table, std::int64_t done, std::int64_t total) override;
  void StepStarted(const std::string& table, ConvertStep step) override;
  void TableSwapped(const std::string& table) override;
  void TableFinished(const TableOutcome& outcome) override;
  void ValueRejected(const std::string& table, const ValueRejection& rejection) override;

 private:
  ConvertObserver& inner_;
  std::mutex mutex_;
};
