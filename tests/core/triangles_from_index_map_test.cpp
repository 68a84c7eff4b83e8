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
  EXPECT_NE(raw, nullptr);
  return Records(raw, raw + 4 * count);
}

}  // namespace

TEST(CreateTrianglesFromIndexMap, SquareCornerCases) {
  const struct {
    std::vector<int> map;
    Records expected;
  } cases[] = {
      {{0, 1, 2, 3}, {3, 1, 0, 2, 3, 1, 2, 3}},
      {{0, 1, 2, -1}, {3, 1, 0, 2}},
      {{0, 1, -1, 3}, {3, 1, 0, 3}},
      {{0, -1, 2, 3}, {3, 0, 2, 3}},
      {{-1, 1, 2, 3}, {3, 1, 2, 3}},
      {{-1, 1, -1, 3}, {}},
      {{0, -1, -1, 3}, {}},
      // Ids are copied as they are, not checked against any point count.
      {{7, 100000, 5, 2147483647}, {3, 100000, 7, 5, 3, 100000, 5, 2147483647}},
  };
  for (const auto& c : cases) EXPECT_EQ(Triangulate(c.map, 2, 2), c.expected) << c.map[0];
}

TEST(CreateTrianglesFromIndexMap, GridsAndDegenerateSizes) {
  std::vector<int> map(12);
  for (int i = 0; i < 12; ++i) map[i] = i;
  const Records records = Triangulate(map, 4, 3);
  ASSERT_EQ(records.size(), 4u * 2 * 3 * 2);
  // Second square of the second row: a=5, b=6, d=9, e=10.
  EXPECT_EQ(Records(records.begin() + 32, records.begin() + 40),
            (Records{3, 6, 5, 9, 3, 6, 9, 10}));
  // A header may claim a huge height for a width of 0 or 1: no rows may be walked then.
  const int sizes[][2] = {{1, 6},  {6, 1},   {0, 0},          {0, 5},         {-2, 3},
                          {3, -2}, {-1, -1}, {0, 2000000000}, {1, 2000000000}};
  for (const auto& size : sizes) EXPECT_TRUE(Triangulate(map, size[0], size[1]).empty());
}
