// Tester selection, mesh naming, keypoint-file naming and the results path.

#include <gtest/gtest.h>
#include <unistd.h>

#include <boost/program_options/variables_map.hpp>
#include <filesystem>
#include <memory>
#include <string>

#include "support/temp_dir.h"
#include "testers/from_file_tester.h"
#include "testers/mesh_name.h"

namespace po = boost::program_options;

namespace {

template <typename T>
void set(po::variables_map& vm, const std::string& key, const T& value) {
  vm.insert({key, po::variable_value(boost::any(value), false)});
}

po::variables_map options(const std::string& detectorID, const std::string& savingPath,
                          int radius) {
  po::variables_map vm;
  set(vm, "detectorID", detectorID);
  set(vm, "savingPath", savingPath);
  set(vm, "radius", radius);
  return vm;
}

// Escapes `text` for the POSIX extended regular expressions of death tests.
std::string literal(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) escaped += '\\';
    escaped += c;
  }
  return escaped;
}

const char* const kMissingDetectorMessage =
    "To read keypoints from files, you must specify a valid detector name  with the option "
    "--detectorID\n";

TEST(MeshNameFromPath, IsTheFileNameWithoutExtension) {
  using Ostrel::Testers::Impl::MeshNameFromPath;
  const struct {
    const char* path;
    const char* name;
  } cases[] = {{"./data/bunny_0.ply", "bunny_0"},
               {"./data/mesh", "mesh"},
               {"a.b/c", "c"},
               {"dir\\win.ply", "win"},
               {"a.b.c.ply", "a.b.c"},
               {"plain", "plain"},
               {"dir/", ""}};
  for (const auto& c : cases) EXPECT_EQ(MeshNameFromPath(c.path), c.name) << c.path;
}

class ExtractTest : public ::testing::Test {
 protected:
  std::string keypointFile(const std::string& fileName, const std::string& content) {
    return dir.write("feats/" + fileName, content);
  }
  ardentis_test::TempDir dir;
  std::string savingPath = dir.file("feats");
};

TEST_F(ExtractTest, NamesTheFileAfterDetectorRadiusAndMesh) {
  const struct {
    int radius;
    const char* fileName;
  } cases[] = {{-1, "DET_bunny_0.feat"}, {0, "DET_bunny_0.feat"}, {6, "DET_R-6_bunny_0.feat"}};
  for (const auto& c : cases) {
    keypointFile(c.fileName, "2\n1 2 3 0.5 7 0.9\n4 5 6 0.25 -1 0.1\n");
    FromFileTester tester("DET", savingPath, 1.0, c.radius);
    TestModel model;
    model.meshPath = "./data/models/bunny_0.ply";
    tester.extract(model);
    std::unique_ptr<Ostrel::LocalFeatures::Impl::Feature3D[]> owned(model.keypoints);
    EXPECT_EQ(model.name, "bunny_0");
    ASSERT_EQ(model.numKeypoints, 2) << c.fileName;
    EXPECT_EQ(model.keypoints[1].z, 6.0f);
    std::filesystem::remove(dir.file(std::string("feats/") + c.fileName));
  }
}

TEST_F(ExtractTest, KeepsAGivenName) {
  keypointFile("DET_chosen.feat", "1 1 2 3 0.5 7 0.9\n");
  FromFileTester tester("DET", savingPath, 1.0, -1);
  TestModel model;
  model.meshPath = "./data/models/bunny_0.ply";
  model.name = "chosen";
  tester.extract(model);
  std::unique_ptr<Ostrel::LocalFeatures::Impl::Feature3D[]> owned(model.keypoints);
  EXPECT_EQ(model.name, "chosen");
  EXPECT_EQ(model.numKeypoints, 1);
}

TEST_F(ExtractTest, FileWithoutKeypointsEndsTheRun) {
  const std::string empty = keypointFile("DET_bunny_0.feat", "0\n");
  FromFileTester tester("DET", savingPath, 1.0, -1);
  TestModel model;
  model.meshPath = "./data/bunny_0.ply";
  EXPECT_EXIT(tester.extract(model), ::testing::ExitedWithCode(156),
              "^" + literal("Cannot open file " + empty + "\n") + "$");
}

TEST_F(ExtractTest, MissingFileEndsTheRun) {
  FromFileTester tester("DET", savingPath, 1.0, 6);
  TestModel model;
  model.meshPath = "./data/bunny_0.ply";
  EXPECT_EXIT(tester.extract(model), ::testing::ExitedWithCode(156),
              "^" + literal("Cannot open file " + savingPath + "/DET_R-6_bunny_0.feat\n") + "$");
}

TEST(GetDetector, BuildsTheFileTesterFromTheOptions) {
  po::variables_map vm = options("DET", "feats", 6);
  ::testing::internal::CaptureStdout();
  std::unique_ptr<IDetectorTester> tester(IDetectorTester::getDetector(vm, 0.5));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Read keypoints from file\n");
  EXPECT_EQ(tester->getDetectorNickname(), "DET");
  EXPECT_EQ(tester->decimate(), -1);
  EXPECT_FALSE(tester->IsScaleInvariant());
}

TEST(GetDetector, WithoutADetectorNameEndsTheRunAfterItsFirstLine) {
  po::variables_map vm = options("YourDetectorName", "feats", -1);
  // Standard output joins standard error so the order of the two lines is checked too.
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        IDetectorTester::getDetector(vm, 1.0);
      },
      ::testing::ExitedWithCode(156),
      "^" + literal(std::string("Read keypoints from file\n") + kMissingDetectorMessage) + "$");
}

TEST(GetOutputFilename, ComposesThePathAndCreatesItsDirectories) {
  ardentis_test::TempDir dir;
  po::variables_map vm = options("DET", "feats", -1);
  set(vm, "outputPath", dir.file("out/nested"));
  std::string savingPath = "feats";
  FromFileTester tester("DET", savingPath, 1.0, -1);
  EXPECT_EQ(tester.getOutputFilename(vm), dir.file("out/nested/DET.csv"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("out/nested")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("out/nested/DET.csv")));
}

}  // namespace
