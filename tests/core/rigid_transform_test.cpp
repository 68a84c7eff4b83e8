#include "core/rigid_transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace Ostrel::Core::Impl;

TEST(Rotate3x3, IdentityAndZeroTranslationKeepFiniteValues) {
  const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  const float zero[3] = {0, 0, 0};
  const std::vector<float> original = {
      1.1f, -2.5e-30f, 3.0e30f, -0.0f, std::numeric_limits<float>::denorm_min(), 7};
  std::vector<float> points = original;
  Rotate3x3(points.data(), 2, identity);
  Translate(points.data(), 2, zero);
  EXPECT_EQ(points, original);
}

TEST(Rotate3x3, QuarterTurnAboutZ) {
  const float quarterTurn[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};
  float points[6] = {1, 0, 0, 2, 3, 4};
  Rotate3x3(points, 2, quarterTurn);
  EXPECT_EQ(std::vector<float>(points, points + 6), (std::vector<float>{0, 1, 0, -3, 2, 4}));
}

TEST(Rotate3x3, RowMajorMatrixTimesColumnVector) {
  const float m[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  float p[3] = {1, 10, 100};
  Rotate3x3(p, 1, m);
  EXPECT_EQ(std::vector<float>(p, p + 3), (std::vector<float>{321, 654, 987}));
}

TEST(RigidTransform, CountLimitsThePointsChanged) {
  const float shift[3] = {1, 2, 3};
  const float swap[9] = {0, 1, 0, 1, 0, 0, 0, 0, 1};
  float points[6] = {1, 2, 3, 4, 5, 6};
  Translate(points, 0, shift);
  Translate(points, -4, shift);
  Rotate3x3(points, -1, swap);
  EXPECT_EQ(std::vector<float>(points, points + 6), (std::vector<float>{1, 2, 3, 4, 5, 6}));
  Translate(points, 1, shift);
  EXPECT_EQ(std::vector<float>(points, points + 6), (std::vector<float>{2, 4, 6, 4, 5, 6}));
}
