#include "core/triangles_from_index_map.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using Ostrel::Core::Impl::CreateTrianglesFromIndexMap;
using Records = std::vector<long long>;

namespace {

// The records written, 4 values per triangle.
Records Triangulate(const std::vector<int>& map, int width, int height) {
  long long* raw = nullptr;
  const int count = CreateTrianglesFromIndexMap(map.data(), width, height, raw);
  std::unique_ptr<long long[]> owned(raw);
  return Records(raw, raw + 4 * count);
}

}  // namespace

TEST(CreateTrianglesFromIndexMap, SquaresGridsAndDegenerateSizes) {
  const std::vector<int> grid = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  const struct {
    std::vector<int> map;
    int width, height;
    Records expected;
  } cases[] = {
      {{0, 1, 2, 3}, 2, 2, {3, 1, 0, 2, 3, 1, 2, 3}},
      {{0, 1, 2, -1}, 2, 2, {3, 1, 0, 2}},
      {{0, 1, -1, 3}, 2, 2, {3, 1, 0, 3}},
      {{0, -1, 2, 3}, 2, 2, {3, 0, 2, 3}},
      {{-1, 1, 2, 3}, 2, 2, {3, 1, 2, 3}},
      {{-1, 1, -1, 3}, 2, 2, {}},
      {{0, -1, -1, 3}, 2, 2, {}},
      // Ids are copied as they are, not checked against any point count.
      {{7, 100000, 5, 2147483647}, 2, 2, {3, 100000, 7, 5, 3, 100000, 5, 2147483647}},
      // The last square of a 3 x 2 grid.
      {grid, 3, 2, {3, 1, 0, 3, 3, 1, 3, 4, 3, 2, 1, 4, 3, 2, 4, 5}},
      // A header may claim a huge height for a width of 0 or 1: no rows may be walked then.
      {grid, 1, 6, {}},
      {grid, 6, 1, {}},
      {grid, 0, 2000000000, {}},
      {grid, 1, 2000000000, {}},
      {grid, -2, 3, {}},
      {grid, 3, -2, {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Triangulate(c.map, c.width, c.height), c.expected) << c.width << "x" << c.height;
}
