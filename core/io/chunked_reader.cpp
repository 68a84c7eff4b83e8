#include "core/io/chunked_reader.h"

#include <algorithm>

namespace Ostrel {
namespace Core {
namespace Impl {

ChunkedReader::ChunkedReader(std::FILE* file, long long start, long long fileSize,
                             long long bufferBytes)
    : file_(file), position_(start), fileSize_(fileSize), buffer_(bufferBytes) {}

bool ChunkedReader::skip(long long bytes) {
  if (bytes < 0 || bytes > fileSize_ - position_) return false;
  position_ += bytes;
  return true;
}

// The buffer never holds bytes past the size the file had when it was measured, so the
// inline test in next() keeps every request inside that size.
const unsigned char* ChunkedReader::refillAndNext(long long bytes) {
  if (bytes < 0 || bytes > fileSize_ - position_ ||
      bytes > static_cast<long long>(buffer_.size())) {
    return nullptr;
  }
  bufferStart_ = position_;
  bufferLength_ = 0;
  const long long wanted = std::min(static_cast<long long>(buffer_.size()), fileSize_ - position_);
  if (fseeko(file_, position_, SEEK_SET) == 0) {
    bufferLength_ = static_cast<long long>(std::fread(buffer_.data(), 1, wanted, file_));
  }
  // A file that shrank since its size was taken delivers less than asked.
  if (bytes > bufferLength_) return nullptr;
  position_ += bytes;
  return buffer_.data();
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
