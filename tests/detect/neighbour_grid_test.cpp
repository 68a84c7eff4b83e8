// The grid's searches against a brute-force search over all points.

#include "detect/neighbour_grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

using Ostrel::Detect::Neighbour;
using Ostrel::Detect::NeighbourGrid;

namespace {

// Every point as (distance, index), sorted; distances as FLANN's L2_Simple sums them.
std::vector<Neighbour> allByDistance(const std::vector<float>& xyz, const float* q) {
  std::vector<Neighbour> all;
  for (std::size_t i = 0; i < xyz.size() / 3; ++i) {
    float distance = 0.0f;
    for (int a = 0; a < 3; ++a) distance += (q[a] - xyz[3 * i + a]) * (q[a] - xyz[3 * i + a]);
    std::uint32_t bits;
    std::memcpy(&bits, &distance, sizeof bits);
    all.push_back((Neighbour(bits) << 32) | i);
  }
  std::sort(all.begin(), all.end());
  return all;
}

std::vector<float> pointSet(int kind) {
  std::mt19937 random(3);
  std::uniform_real_distribution<float> coordinate(-4.0f, 4.0f);
  std::vector<float> xyz;
  for (int i = 0; i < 600; ++i) {
    const float p[3] = {coordinate(random), coordinate(random), coordinate(random)};
    if (kind == 0) xyz.insert(xyz.end(), p, p + 3);  // scattered
    if (kind == 1) xyz.insert(xyz.end(), {float(i % 9), float(i / 9 % 9), float(i / 81)});
    if (kind == 2) xyz.insert(xyz.end(), {p[0], p[1], 0.0f});                     // flat
    if (kind == 3 && i < 40) xyz.insert(xyz.end(), {1.5f, -2.0f, float(i % 2)});  // stacked
  }
  return xyz;
}

}  // namespace

// Scattered points, a lattice (ties everywhere), a plane and points stacked at two places, with
// cells smaller and larger than the radii: the same neighbours, in the same order.
TEST(NeighbourGrid, FindsWhatABruteForceSearchFinds) {
  for (int kind = 0; kind < 4; ++kind) {
    const std::vector<float> xyz = pointSet(kind);
    for (const double side : {0.4, 1.0, 6.0}) {
      const NeighbourGrid grid(xyz, side);
      std::vector<Neighbour> found;
      for (std::size_t i = 0; i < xyz.size(); i += 9) {  // every third point, or beside it
        const float q[3] = {xyz[i], xyz[i + 1], xyz[i + 2] + (i % 2 ? 0.0f : 0.25f)};
        const std::vector<Neighbour> all = allByDistance(xyz, q);
        for (const double radius : {0.5, 1.0, 2.0, 3.7}) {
          const float limit = Ostrel::Detect::squaredLimit(radius);
          std::vector<Neighbour> expected;
          for (const Neighbour n : all)
            if (Ostrel::Detect::distanceOf(n) < limit) expected.push_back(n);
          grid.within(q, limit, true, found);
          ASSERT_EQ(found, expected) << kind << " " << side << " " << radius;
          grid.within(q, limit, false, found);
          std::sort(found.begin(), found.end());
          ASSERT_EQ(found, expected) << kind << " " << side << " " << radius;
        }
        for (const int count : {1, 8, 26, 700}) {
          grid.nearest(q, count, found);
          const std::size_t kept = std::min<std::size_t>(count, all.size());
          ASSERT_EQ(found, std::vector<Neighbour>(all.begin(), all.begin() + kept)) << count;
        }
      }
    }
  }
}
