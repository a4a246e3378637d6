#include "convert/SerialObserver.h"

void SerialObserver::TableStarted(const std::string& table, std::int64_t rows) {
  std::lock_guard lock(mutex_);
  inner_.TableStarted(table, rows);
}

void SerialObserver::RowsLoaded(const std::string& table, std::int64_t done, std::int64_t total) {
  std::lock_guard lock(mutex_);
  inner_.RowsLoaded(table, done, total);
}

void SerialObserver::StepStarted(const std::string& table, ConvertStep step) {
  std::lock_guard lock(mutex_);
  inner_.StepStarted(table, step);
}

void SerialObserver::TableSwapped(const std::string& table) {
  std::lock_guard lock(mutex_);
  inner_.TableSwapped(table);
}

void SerialObserver::TableFinished(const TableOutcome& outcome) {
  std::lock_guard lock(mutex_);
  inner_.TableFinished(outcome);
}

void SerialObserver::ValueRejected(const std::string& table, const ValueRejection& rejection) {
  std::lock_guard lock(mutex_);
  inner_.ValueRejected(table, rejection);
}
