// A table file held in memory (tests, fuzzing, files fetched from elsewhere).
#pragma once

#include <string>

#include "store/ff2/ByteSource.h"

namespace ff::ff2 {

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}

  std::uint64_t size() const override { return bytes_.size(); }

 protected:
  void readInRange(std::uint64_t offset, std::uint8_t* dst, std::size_t n) override;

 private:
  std::string bytes_;
};

}  // namespace ff::ff2
