#include "store/ff2/FileSource.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

#include "store/ff2/FormatError.h"

namespace ff::ff2 {

namespace {

std::uint64_t regularFileSize(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec) throw FormatError("cannot open: " + ec.message());
  if (!std::filesystem::is_regular_file(status)) throw FormatError("cannot open: not a regular file");
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) throw FormatError("cannot open: " + ec.message());
  return size;
}

}  // namespace

FileSource::FileSource(const std::string& path) : size_(regularFileSize(path)) {
  file_.reset(std::fopen(path.c_str(), "rb"));
  if (!file_) throw FormatError(std::string("cannot open: ") + std::strerror(errno));
  if (size_ > static_cast<std::uint64_t>(std::numeric_limits<long>::max())) {
    throw FormatError("cannot open: file too large");
  }
}

void FileSource::readInRange(std::uint64_t offset, std::uint8_t* dst, std::size_t n) {
  if (offset != position_ && std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0) {
    position_ = std::numeric_limits<std::uint64_t>::max();
    throw FormatError(std::string("read error: ") + std::strerror(errno));
  }
  const std::size_t got = std::fread(dst, 1, n, file_.get());
  if (got != n) {
    position_ = std::numeric_limits<std::uint64_t>::max();
    throw FormatError("read error: the file changed or could not be read");
  }
  position_ = offset + n;
}

}  // namespace ff::ff2
