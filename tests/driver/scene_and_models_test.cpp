// Mesh paths and ground-truth poses; the runs in run_evaluation_test load the rest.

#include "driver/scene_and_models.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

TEST(MeshPathWithNoise, InsertsTheSuffixBeforeTheLastDotOfTheConfiguredName) {
  const char* cases[][3] = {
      {"scenes/s1.ply", "0.1", "./data/scenes/s1_0.1.ply"},
      {"\"models/m1.ply\"", "0", "./data/models/m1_0.ply"},
      {"mo\"dels/m1.p\"ly", "1e-05", "./data/models/m1_1e-05.ply"},
      {"a.b.ply", "0", "./data/a.b_0.ply"},
      {"models/m1", "0", "./data/models/m1_0"},  // never lands in the "./data/" prefix
  };
  for (const auto& c : cases) EXPECT_EQ(meshPathWithNoise(c[0], c[1]), c[2]);
}

TEST(ReadGroundTruth, ReadsTheSameFromAnyLayoutAndNeedsTwelveNumbers) {
  ardentis_test::TempDir dir;
  for (const char* layout : {"1 2 3 10 4 5 6 11 7 8 9 12\n", "1 2 3 10\n4 5 6 11\n7 8 9 12\n",
                             "1\t2 3 10\n4 5 6 11\n7 8 9 12\n0 0 0 1\n"}) {
    TestModel model;
    ASSERT_TRUE(readGroundTruth(dir.write("gt.txt", layout), model)) << layout;
    for (int k = 0; k < 9; ++k) EXPECT_EQ(model.rotation[k], k + 1.0f) << layout;
    for (int k = 0; k < 3; ++k) EXPECT_EQ(model.translation[k], k + 10.0f) << layout;
  }
  for (const char* bad : {"1 0 0 0 0 1 0 0 0 0 1\n", "1 0 0 0\n0 1 0 0\n0 0 one 0\n", ""}) {
    TestModel model{};
    EXPECT_FALSE(readGroundTruth(dir.write("gt.txt", bad), model)) << bad;
    EXPECT_EQ(model.rotation[0], 0);  // written only when all twelve were read
  }
  TestModel model;
  EXPECT_FALSE(readGroundTruth(dir.file("none.txt"), model));
}
