// Keypoint budgets against a brute force: a record is kept when fewer than k records outrank it
// (a higher score, or an equal score earlier in the file).

#include "testset/keypoint_budget.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using Ostrel::LocalFeatures::Impl::Feature3D;

namespace {

std::vector<Feature3D> keptByBruteForce(const std::vector<Feature3D>& all, std::size_t k) {
  std::vector<Feature3D> kept;
  for (std::size_t i = 0; i < all.size(); ++i) {
    std::size_t outranking = 0;
    for (std::size_t j = 0; j < all.size(); ++j) {
      const float a = all[i].score, b = all[j].score;
      const bool higher = std::isnan(a) ? !std::isnan(b) || j < i : !std::isnan(b) && b > a;
      outranking += higher || (j < i && a == b);
    }
    if (outranking < k) kept.push_back(all[i]);
  }
  return kept;
}

TEST(KeypointBudget, KeepsTheHighestScoresInFileOrderEqualScoresByPosition) {
  std::mt19937 random(7);
  for (const std::size_t size : {0u, 1u, 9u, 200u}) {
    std::vector<Feature3D> all(size);
    for (std::size_t i = 0; i < size; ++i) {
      all[i].index = int(i);
      all[i].score = float(random() % 17) / 4;  // many ties
      if (random() % 23 == 0) all[i].score = std::nanf("");
    }
    for (const std::size_t k : {1u, 3u, 50u, 500u}) {
      std::vector<Feature3D> kept = all;
      Ostrel::TestSet::keepHighestScored(kept, k);
      const std::vector<Feature3D> expected = keptByBruteForce(all, k);
      ASSERT_EQ(kept.size(), expected.size()) << size << " " << k;
      for (std::size_t i = 0; i < kept.size(); ++i)
        EXPECT_EQ(kept[i].index, expected[i].index) << size << " " << k;
    }
  }
}

TEST(KeypointBudget, CountIsTheCeilingPerThousandVerticesAtLeastOne) {
  const struct {
    double keep;
    long long vertices;
    std::size_t count;
  } cases[] = {{5, 1000, 5}, {2.5, 1001, 3}, {0.1, 10, 1}, {5, 0, 1}, {10, 123456, 1235}};
  for (const auto& c : cases)
    EXPECT_EQ(Ostrel::TestSet::budgetCount(c.keep, c.vertices), c.count) << c.keep;
}

}  // namespace
