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
  if (ec) throw FormatError("kan ikke åpne: " + ec.message());
  if (!std::filesystem::is_regular_file(status)) throw FormatError("kan ikke åpne: ikke en vanlig fil");
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) throw FormatError("kan ikke åpne: " + ec.message());
  return size;
}

}  // namespace

FileSource::FileSource(const std::string& path) : size_(regularFileSize(path)) {
  file_.reset(std::fopen(path.c_str(), "rb"));
  if (!file_) throw FormatError(std::string("kan ikke åpne: ") + std::strerror(errno));
  if (size_ > static_cast<std::uint64_t>(std::numeric_limits<long>::max())) {
    throw FormatError("kan ikke åpne: filen er for stor");
  }
}

void FileSource::readInRange(std::uint64_t offset, std::uint8_t* dst, std::size_t n) {
  if (offset != position_ && std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0) {
    position_ = std::numeric_limits<std::uint64_t>::max();
    throw FormatError(std::string("lesefeil: ") + std::strerror(errno));
  }
  const std::size_t got = std::fread(dst, 1, n, file_.get());
  if (got != n) {
    position_ = std::numeric_limits<std::uint64_t>::max();
    throw FormatError("lesefeil: filen ble endret eller kunne ikke leses");
  }
  position_ = offset + n;
}

}  // namespace ff::ff2
