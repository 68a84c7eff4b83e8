#include "core/io/chunked_reader.h"

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

const unsigned char* ChunkedReader::next(long long bytes) {
  if (bytes < 0 || bytes > fileSize_ - position_ ||
      bytes > static_cast<long long>(buffer_.size())) {
    return nullptr;
  }
  if (position_ < bufferStart_ || position_ + bytes > bufferStart_ + bufferLength_) refill();
  // A file that shrank since its size was taken delivers less than asked.
  if (position_ + bytes > bufferStart_ + bufferLength_) return nullptr;
  const unsigned char* data = buffer_.data() + (position_ - bufferStart_);
  position_ += bytes;
  return data;
}

void ChunkedReader::refill() {
  bufferStart_ = position_;
  bufferLength_ = 0;
  if (fseeko(file_, position_, SEEK_SET) == 0) {
    bufferLength_ = static_cast<long long>(std::fread(buffer_.data(), 1, buffer_.size(), file_));
  }
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
