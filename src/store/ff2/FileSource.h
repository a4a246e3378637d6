// A table file on disk, read with positioned reads.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "store/ff2/ByteSource.h"

namespace ff::ff2 {

class FileSource : public ByteSource {
 public:
  // Opens path for reading. Throws FormatError when it is missing, not a regular file or
  // unreadable (the message gives the system's reason).
  explicit FileSource(const std::string& path);

  std::uint64_t size() const override { return size_; }

 protected:
  void readInRange(std::uint64_t offset, std::uint8_t* dst, std::size_t n) override;

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;  // where the stream stands, to skip needless seeks
};

}  // namespace ff::ff2
