#include "core/rigid_transform.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Ostrel::Core::Impl;

TEST(RigidTransform, RowMajorRotationThenTranslationOfCountPoints) {
  const float m[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  const float shift[3] = {1, 2, 3};
  std::vector<float> p = {1, 10, 100, 4, 5, 6};
  Rotate3x3(p.data(), 0, m);
  Translate(p.data(), -4, shift);
  EXPECT_EQ(p, (std::vector<float>{1, 10, 100, 4, 5, 6}));
  Rotate3x3(p.data(), 1, m);
  Translate(p.data(), 1, shift);
  EXPECT_EQ(p, (std::vector<float>{322, 656, 990, 4, 5, 6}));
}
