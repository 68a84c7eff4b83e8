// Tester selection, mesh naming and keypoint-file naming; runs check the rest end to end.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "support/run_process.h"
#include "support/temp_dir.h"
#include "testers/from_file_tester.h"
#include "testers/mesh_name.h"

namespace po = boost::program_options;

TEST(MeshNameFromPath, IsTheFileNameWithoutExtension) {
  const std::pair<const char*, const char*> cases[] = {
      {"./data/bunny_0.ply", "bunny_0"}, {"./data/mesh", "mesh"}, {"a.b/c", "c"},
      {"dir\\win.ply", "win"},           {"a.b.c.ply", "a.b.c"},  {"dir/", ""}};
  for (const auto& c : cases)
    EXPECT_EQ(Ostrel::Testers::Impl::MeshNameFromPath(c.first), c.second) << c.first;
}

TEST(FromFileTester, IsBuiltFromTheOptionsAndNamesFilesAfterDetectorRadiusAndMesh) {
  po::variables_map vm;
  vm.insert({"detectorID", po::variable_value(boost::any(std::string("DET")), false)});
  vm.insert({"savingPath", po::variable_value(boost::any(std::string("feats")), false)});
  vm.insert({"radius", po::variable_value(boost::any(6), false)});
  std::unique_ptr<IDetectorTester> built;
  EXPECT_EQ(ardentis_test::capture([&] { built.reset(IDetectorTester::getDetector(vm, 0.5)); }).out,
            "Read keypoints from file\n");
  EXPECT_EQ(built->getDetectorNickname(), "DET");
  EXPECT_EQ(built->decimate(), -1);
  EXPECT_FALSE(built->IsScaleInvariant());
  ardentis_test::TempDir dir;
  std::string savingPath = dir.file("feats");
  const struct {
    int radius;
    const char* fileName;
    const char* givenName;
  } cases[] = {{-1, "DET_bunny_0.feat", ""},
               {0, "DET_bunny_0.feat", ""},
               {6, "DET_R-6_bunny_0.feat", ""},
               {-1, "DET_chosen.feat", "chosen"}};
  for (const auto& c : cases) {
    const std::string file =
        dir.write(std::string("feats/") + c.fileName, "2\n1 2 3 0.5 7 0.9\n4 5 6 0.25 -1 0.1\n");
    FromFileTester tester("DET", savingPath, 1.0, c.radius);
    TestModel model;
    model.meshPath = "./data/models/bunny_0.ply";
    model.name = c.givenName;
    tester.extract(model);
    std::unique_ptr<Ostrel::LocalFeatures::Impl::Feature3D[]> owned(model.keypoints);
    EXPECT_EQ(model.name, *c.givenName ? c.givenName : "bunny_0");
    ASSERT_EQ(model.numKeypoints, 2) << c.fileName;
    EXPECT_EQ(model.keypoints[1].z, 6.0f);
    std::filesystem::remove(file);
  }
}
