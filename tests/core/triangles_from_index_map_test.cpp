#include "core/triangles_from_index_map.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using Ostrel::Core::Impl::CreateTrianglesFromIndexMap;

namespace {

// The records written, 4 values per triangle.
std::vector<long long> Triangulate(const std::vector<int>& map, int width, int height) {
  long long* raw = nullptr;
  const int count = CreateTrianglesFromIndexMap(map.data(), width, height, raw);
  std::unique_ptr<long long[]> owned(raw);
  EXPECT_NE(raw, nullptr);
  return std::vector<long long>(raw, raw + 4 * count);
}

}  // namespace

TEST(CreateTrianglesFromIndexMap, SquareCornerCases) {
  struct Case {
    const char* name;
    std::vector<int> map;
    std::vector<long long> expected;
  };
  const Case cases[] = {
      {"all four", {0, 1, 2, 3}, {3, 1, 0, 2, 3, 1, 2, 3}},
      {"no bottom right", {0, 1, 2, -1}, {3, 1, 0, 2}},
      {"no bottom left", {0, 1, -1, 3}, {3, 1, 0, 3}},
      {"no top right", {0, -1, 2, 3}, {3, 0, 2, 3}},
      {"no top left", {-1, 1, 2, 3}, {3, 1, 2, 3}},
      {"two missing", {-1, 1, -1, 3}, {}},
      {"diagonal missing", {0, -1, -1, 3}, {}},
      {"all missing", {-1, -1, -1, -1}, {}},
      // Ids are copied as they are, not checked against any point count.
      {"large ids", {7, 100000, 5, 2147483647}, {3, 100000, 7, 5, 3, 100000, 5, 2147483647}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Triangulate(c.map, 2, 2), c.expected) << c.name;
  }
}

TEST(CreateTrianglesFromIndexMap, DegenerateGridsGiveNoTriangles) {
  const std::vector<int> map = {0, 1, 2, 3, 4, 5};
  const int sizes[][2] = {{1, 6}, {6, 1}, {0, 0}, {0, 5}, {-2, 3}, {3, -2}, {-1, -1}};
  for (const auto& size : sizes) {
    EXPECT_TRUE(Triangulate(map, size[0], size[1]).empty()) << size[0] << "x" << size[1];
  }
}

TEST(CreateTrianglesFromIndexMap, FullGridAndRowOrder) {
  const int width = 4, height = 3;
  std::vector<int> map(width * height);
  for (int i = 0; i < width * height; ++i) map[i] = i;
  const std::vector<long long> records = Triangulate(map, width, height);
  ASSERT_EQ(records.size(), 4u * 2 * (width - 1) * (height - 1));
  // Second square of the second row: a=5, b=6, d=9, e=10.
  const std::vector<long long> square(records.begin() + 32, records.begin() + 40);
  EXPECT_EQ(square, (std::vector<long long>{3, 6, 5, 9, 3, 6, 9, 10}));
}

TEST(CreateTrianglesFromIndexMap, TwoMissingInEverySquareGivesNothing) {
  const std::vector<int> checkerboard = {0, -1, 2, -1, 4, -1, 6, -1, 8};
  EXPECT_TRUE(Triangulate(checkerboard, 3, 3).empty());
  const std::vector<int> striped = {0, -1, 2, -1, 3, -1, 4, -1, 5, -1, 6, -1};
  EXPECT_TRUE(Triangulate(striped, 4, 3).empty());
}
