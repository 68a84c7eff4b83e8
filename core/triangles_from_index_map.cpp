#include "core/triangles_from_index_map.h"

#include <cstddef>

namespace Ostrel {
namespace Core {
namespace Impl {

namespace {

const int kNoPoint = -1;

class TriangleWriter {
 public:
  explicit TriangleWriter(long long* records) : records_(records) {}

  void Add(int a, int b, int c) {
    long long* record = records_ + 4 * static_cast<std::ptrdiff_t>(count_);
    record[0] = 3;
    record[1] = a;
    record[2] = b;
    record[3] = c;
    ++count_;
  }

  int Count() const { return count_; }

 private:
  long long* records_;
  int count_ = 0;
};

// Corners of one grid square: a top left, b top right, d bottom left, e bottom right. Every
// triangle runs counterclockwise with row 0 drawn at the top.
void TriangulateSquare(int a, int b, int d, int e, TriangleWriter& out) {
  const bool hasA = a != kNoPoint;
  const bool hasB = b != kNoPoint;
  const bool hasD = d != kNoPoint;
  const bool hasE = e != kNoPoint;
  if (hasA && hasB && hasD && hasE) {
    out.Add(b, a, d);
    out.Add(b, d, e);
  } else if (hasA && hasB && hasE) {
    out.Add(b, a, e);
  } else if (hasA && hasB && hasD) {
    out.Add(b, a, d);
  } else if (hasA && hasD && hasE) {
    out.Add(a, d, e);
  } else if (hasB && hasD && hasE) {
    out.Add(b, d, e);
  }
}

}  // namespace

int CreateTrianglesFromIndexMap(const int* indexMap, int width, int height, long long*& triangles) {
  // A grid one position wide or high (or less) has no squares: it gets an empty buffer and its
  // rows are not walked, since a header can claim a billion rows of width 0 or 1. Otherwise the
  // size is taken in 64 bits, so large dimensions cannot wrap it.
  const bool hasSquares = width >= 2 && height >= 2;
  const std::size_t positions =
      hasSquares ? static_cast<std::size_t>(width) * static_cast<std::size_t>(height) : 0;
  triangles = new long long[8 * positions];
  TriangleWriter out(triangles);
  if (!hasSquares) return 0;
  for (int r = 0; r + 1 < height; ++r) {
    const int* top = indexMap + static_cast<std::ptrdiff_t>(r) * width;
    const int* bottom = top + width;
    for (int c = 0; c + 1 < width; ++c) {
      TriangulateSquare(top[c], top[c + 1], bottom[c], bottom[c + 1], out);
    }
  }
  return out.Count();
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
