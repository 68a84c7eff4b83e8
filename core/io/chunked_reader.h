#pragma once
// Forward reader over the bytes of an open file through one buffer, for the binary bodies of
// mesh files: next() hands out the following bytes, skip() moves past bytes without reading
// them. Every request is bounded by the file's size, so a damaged count cannot make it read or
// allocate more than the file holds.

#include <cstdio>
#include <vector>

namespace Ostrel {
namespace Core {
namespace Impl {

class ChunkedReader {
 public:
  // Reads `file` (`fileSize` bytes in all) from offset `start`; the buffer holds `bufferBytes`.
  ChunkedReader(std::FILE* file, long long start, long long fileSize,
                long long bufferBytes = 1 << 20);

  long long position() const { return position_; }
  bool atEnd() const { return position_ == fileSize_; }

  // Moves past `bytes` bytes; false (and no move) when the file ends first.
  bool skip(long long bytes);

  // The next `bytes` bytes, valid until the next call, and moves past them; null when the file
  // ends first, the bytes cannot be read or they are more than the buffer holds. Inline: the
  // readers ask for a few bytes per face, millions of times.
  const unsigned char* next(long long bytes) {
    if (bytes < 0 || bytes > bufferStart_ + bufferLength_ - position_) return refillAndNext(bytes);
    const unsigned char* data = buffer_.data() + (position_ - bufferStart_);
    position_ += bytes;
    return data;
  }

 private:
  const unsigned char* refillAndNext(long long bytes);

  std::FILE* file_;
  long long position_;
  long long fileSize_;
  std::vector<unsigned char> buffer_;
  long long bufferStart_ = 0;   // file offset of buffer_[0]
  long long bufferLength_ = 0;  // bytes of the buffer read from the file
};

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
