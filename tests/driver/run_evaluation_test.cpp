// Complete runs of the real binary on small data sets written by the tests, with keypoints
// placed at known distances from the matching and visibility radii.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/ply_file.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace {

using Point = std::array<double, 3>;

// Model poses: a quarter turn about z, then 100 along x. A model point p lies in the scene at
// (100 - p.y, p.x, p.z), so the scene point s comes from the model point (s.y, 100 - s.x, s.z).
const std::string kPose = "0 -1 0 100\n1 0 0 0\n0 0 1 0\n";
Point modelPointFor(const Point& s) {
  return {s[1], 100.0 - s[0], s[2]};
}

// Scene corners S_k = (20k, 0, 0) of six 3-4-5 triangles (20k + 3, 0, 0), (20k, -4, 0).
Point corner(int k, double dz = 0) {
  return {20.0 * k, 0, dz};
}

// Keypoint file: x y z scale index score, one record a line.
std::string keypointFile(const std::vector<std::pair<Point, double>>& keypoints) {
  std::ostringstream file;
  file << keypoints.size() << "\n";
  for (const auto& [p, scale] : keypoints)
    file << p[0] << " " << p[1] << " " << p[2] << " " << scale << " 0 0.5\n";
  return file.str();
}

// Two models and the scene at noise 0.1, keypoints of detector DET with radius 6.
class EvaluationRun : public testing::Test {
 protected:
  void SetUp() override {
    dir.write("test.ini",
              "[SCENE]\nPATH = scenes/s1.ply\n[MODELS]\nNUMBER = 2\n"
              "MODEL_0 = models/m.1.ply\nMODEL_0_GROUNDTRUTH = gt/m1.txt\n"
              "MODEL_1 = \"models/m2.ply\"\nMODEL_1_GROUNDTRUTH = \"gt/m2.txt\"\n");
    // Every model is one 3-4-5 triangle (resolution exactly 4), so with -t 0.25 both radii are 1.
    const std::string model =
        ardentis_test::plyFile({{{0, 0, 0}, {3, 0, 0}, {0, 4, 0}}, {{0, 1, 2}}});
    dir.write("data/models/m.1_0.ply", model);  // the noise goes before the last dot
    dir.write("data/models/m2_0.ply", model);
    dir.write("data/gt/m1.txt", "0\t-1 0 100 1 0 0 0 0 0 1 0\n");  // any layout of twelve numbers
    dir.write("data/gt/m2.txt", kPose + "0 0 0 1\n");
    ardentis_test::PlyMesh scene;
    std::vector<std::pair<Point, double>> sceneKeypoints;
    for (int k = 0; k < 6; ++k) {
      scene.points.insert(scene.points.end(), {corner(k), {20.0 * k + 3, 0, 0}, {20.0 * k, -4, 0}});
      scene.faces.push_back({3 * k, 3 * k + 1, 3 * k + 2});
      sceneKeypoints.push_back({corner(k), std::array{1.5, 1.0, 1.0, 2.0, 1.0, 0.0}[k]});
    }
    dir.write("data/scenes/s1_0.1.ply", ardentis_test::plyFile(scene));
    dir.write("feats/DET_R-6_s1_0.1.feat", keypointFile(sceneKeypoints));
    dir.write("feats/DET_R-6_m.1_0.feat",
              keypointFile({{modelPointFor(corner(0)), 1.5},     // repeatable, equal scales: 1
                            {modelPointFor(corner(1, 1)), 1},    // both distances exactly 1: 0
                            {modelPointFor(corner(2)), 2},       // scales 2 and 1: 0.125
                            {modelPointFor(corner(3)), 1},       // scales 1 and 2: 0.125
                            {modelPointFor(corner(4, 1.5)), 1},  // occluded
                            {modelPointFor(corner(5)), 3}}));    // scale 0 against 3: 0
    dir.write("feats/DET_R-6_m2_0.feat",
              keypointFile({{modelPointFor({3, 0, 0}), 1},       // on the scene, no keypoint near
                            {modelPointFor({50, 50, 0}), 1}}));  // far from the scene
  }

  ardentis_test::ProcessResult run(std::vector<std::string> extra = {"--detectorID", "DET", "-r",
                                                                     "6", "-t", "0.25"}) {
    std::vector<std::string> args = {"-C", "test.ini", "-S", "feats", "-O", "results"};
    args.insert(args.end(), extra.begin(), extra.end());
    return ardentis_test::runArdentis(args, dir.path());
  }

  std::string table() const { return ardentis_test::readFile(dir.file("results/DET.csv")); }

  ardentis_test::TempDir dir;
};

const std::string kHeader =
    ";Sigma noise;Radius;Repeatable Keypoints;TotScaleRepeatability;RepeatabilityTh;"
    "Model Keypoints;Non-occluded Keypoints;Scene Keypoints;Scene Name\n";

TEST_F(EvaluationRun, PrintsEveryStageAndTheModelBlocks) {
  const auto result = run();
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            "Ardentis Version 1.0\nLoading models...\nLoading ground truth...\ndone.\n\n"
            "Loading scene...\n   ./data/scenes/s1_0.1.ply\n   # points: 18\n"
            "   Mesh resolution: 4.000000\n   Mesh resolution: 4.000000\n"
            "\n   Mean models' resolution: 4.000000\ndone.\n\n"
            "Read keypoints from file\nNo decimation.\nComputing model keypoints\n"
            " > model 0: 6\n > model 1: 2\ndone.\n\n   mesh resolution: 4.000000\n\n"
            "Computing scene keypoints: 6\nBuilding keypoints kdtree...done.\n\n"
            "Keypoints of the model[0]: 6\n"
            "Keypoints of the model[0] present in the scene: 5\n"
            "Keypoints of the scene: 6\n"
            "Keypoints of the model[0] closer than epsilon to a keypoints of the scene: 5\n"
            "Epsilon value: 1.000000\nModel 0 repeatability :1.000000\n"
            "Current Noise:0.100000\nModel 0 scaleRepeatability :0.250000\n\n"
            "Keypoints of the model[1]: 2\n"
            "Keypoints of the model[1] present in the scene: 1\n"
            "Keypoints of the scene: 6\n"
            "Keypoints of the model[1] closer than epsilon to a keypoints of the scene: 0\n"
            "Epsilon value: 1.000000\nModel 1 repeatability :0.000000\n"
            "Current Noise:0.100000\nModel 1 scaleRepeatability :0.000000\n\n"
            "writing xls file..\n");
  EXPECT_EQ(table(), kHeader +
                         "m.1_0;0.1;6;5;1.25;0.25;6;5;6;s1_0.1\n"
                         "m2_0;0.1;6;0;0;0.25;2;1;6;s1_0.1\n");
}

// Failures end with their status and leave no table. No models: the mean resolution is 0
// rather than 0 / 0, the scene is still read, and the table gets its header and no row.
TEST_F(EvaluationRun, FailuresEndWithTheirStatusAndLeaveNoTable) {
  const std::string noScene = "\n\nERROR LoadPly: CannotOpenFileError\nProblems loading scene\n";
  const std::string noDetector =
      "To read keypoints from files, you must specify a valid "
      "detector name  with the option --detectorID\n";
  const std::string noRadius = "Cannot open file feats/DET_m.1_0.feat\n";  // -r -1 or 0: no R-
  const std::string noThreshold = "repeatabilityTh must be a positive number\n";
  const struct {
    const char* file;     // file to remove or rewrite
    const char* content;  // nullptr: remove it
    std::vector<std::string> args;
    int status;
    std::string outPart, err;  // a part of stdout, all of stderr
  } cases[] = {
      // clang-format off
      {"test.ini", "[SCENE]\nPATH = scenes/s1.ply\n[MODELS]\nNUMBER = 0\n", {}, 0,
       "\n   Mean models' resolution: 0.000000\ndone.\n\nRead keypoints from file\nNo decimation.\n"
       "Computing model keypoints\ndone.\n\n", ""},
      {"test.ini", nullptr, {}, 255, "Problems opening config file test.ini\n", ""},
      {"test.ini", "[SCENE]\nPATH = s.ply\n[MODELS]\nNUMBER = 1\nMODEL_0 = mo\"dels/m1\n"
       "MODEL_0_GROUNDTRUTH = gt/m1.txt\n", {}, 254, "Error opening file: ./data/models/m1_0\n", ""},
      {"data/models/m2_0.ply", nullptr, {}, 254, "Error opening file: ./data/models/m2_0.ply\n", ""},
      {"data/gt/m2.txt", nullptr, {}, 254, "Error opening file: \"gt/m2.txt\"\n", ""},
      {"data/gt/m1.txt", "1 0 0 0\n0 1 0 0\n", {}, 254, "Error opening file: gt/m1.txt\n", ""},
      {"data/gt/m2.txt", "1 0 0 0\n0 1 0 0\n0 0 one 0\n", {}, 254, "Error opening file: \"gt/m2.txt\"\n", ""},
      {"data/scenes/s1_0.1.ply", nullptr, {}, 255, "   ./data/scenes/s1_0.1.ply" + noScene, ""},
      {"data/scenes/s1_1e-05.ply", nullptr, {"--detectorID", "DET", "-n", "0.00001"}, 255,
       "   ./data/scenes/s1_1e-05.ply" + noScene, ""},
      {"feats/unused", nullptr, {"--detectorID", "DET"}, 156, "", noRadius},
      {"feats/unused", nullptr, {"--detectorID", "DET", "-r", "0"}, 156, "", noRadius},
      {"feats/unused", nullptr, {"-r", "6"}, 156,
       "Read keypoints from file\n", noDetector},
      {"feats/DET_R-6_m2_0.feat", nullptr, {}, 156, " > model 0: 6\n",
       "Cannot open file feats/DET_R-6_m2_0.feat\n"},
      {"feats/unused", nullptr, {"--detectorID", "DET", "-t", "-1"}, 255, "", noThreshold},
      {"feats/unused", nullptr, {"--detectorID", "DET", "-t", "0"}, 255, "", noThreshold},
      {"feats/unused", nullptr, {"--detectorID", "DET", "-t", "nan"}, 255, "", noThreshold},
      // clang-format on
  };
  for (const auto& c : cases) {
    SetUp();
    std::filesystem::remove_all(dir.file("results"));
    if (c.content)
      dir.write(c.file, c.content);
    else
      std::filesystem::remove(dir.file(c.file));
    const auto result = c.args.empty() ? run() : run(c.args);
    EXPECT_EQ(result.status, c.status) << c.file;
    EXPECT_NE(result.out.find(c.outPart), std::string::npos) << result.out;
    EXPECT_EQ(result.err, c.err) << c.file;
    EXPECT_EQ(table(), c.status == 0 ? kHeader : "") << c.file;
  }
}

// With several threads the scene is read, measured, cleaned and indexed beside the models; a
// run must print and write the same bytes as with one, whichever road the scene takes: the
// silent binary road (also with duplicate points to merge), the general road after that one
// refuses the file (ASCII, truncated, a NaN vertex), or no road at all when a model fails first.
TEST_F(EvaluationRun, EveryThreadCountPrintsAndWritesTheSameBytes) {
  ardentis_test::PlyMesh scene;
  for (int k = 0; k < 6; ++k) {
    scene.points.insert(scene.points.end(), {corner(k), {20.0 * k + 3, 0, 0}, {20.0 * k, -4, 0}});
    scene.faces.push_back({3 * k, 3 * k + 1, 3 * k + 2});
  }
  // A copy of corner 0 used by a second triangle and by one that collapses when it is merged:
  // cleaning changes the point count and the resolution, both printed as read.
  ardentis_test::PlyMesh merged = scene;
  merged.points.push_back(corner(0));
  merged.faces.insert(merged.faces.end(), {{18, 4, 5}, {0, 18, 4}});
  const std::string binary = ardentis_test::plyFile(scene, "binary_little_endian");
  ardentis_test::PlyMesh notFinite = scene;
  notFinite.points[4][1] = std::nan("");
  const std::pair<const char*, std::string> scenes[] = {
      {"binary", binary},
      {"binary, merged", ardentis_test::plyFile(merged, "binary_little_endian")},
      {"ascii", ardentis_test::plyFile(scene)},
      {"truncated", binary.substr(0, binary.size() - 7)},
      {"NaN vertex", ardentis_test::plyFile(notFinite, "binary_little_endian")},
      {"model missing", binary},
  };
  for (const auto& [name, content] : scenes) {
    SetUp();
    dir.write("data/scenes/s1_0.1.ply", content);
    if (std::string(name) == "model missing") std::filesystem::remove(dir.file("data/gt/m2.txt"));
    std::string first;
    for (const char* threads : {"1", "2", "3", "many"}) {
      std::filesystem::remove_all(dir.file("results"));
      ::setenv("ARDENTIS_THREADS", threads, 1);
      const auto result = run();
      ::unsetenv("ARDENTIS_THREADS");
      std::string err = result.err;
      const std::string complaint = "ARDENTIS_THREADS: 'many' is not a thread count from 1 to 1024";
      if (std::string(threads) == "many") {
        ASSERT_EQ(err.rfind(complaint, 0), 0u) << name << ": " << err;
        err.erase(0, err.find('\n') + 1);
      }
      const std::string seen =
          result.out + "|" + err + "|" + std::to_string(result.status) + "|" + table();
      if (first.empty()) first = seen;
      EXPECT_EQ(seen, first) << name << ", " << threads << " threads";
    }
  }
}

// A run that ends early while the scene's thread still works on the example scene (in VTK's
// TBB-backed code at times) must end with its own status every time: an exit that tore down
// the libraries under the thread crashed one run in 15 to 100.
TEST(EarlyExit, EndsWithItsStatusWhileTheSceneThreadWorks) {
  ardentis_test::TempDir dir;
  const std::filesystem::path examples = std::string(ARDENTIS_SOURCE_DIR) + "/examples";
  std::filesystem::copy(examples / "data", dir.file("data"),
                        std::filesystem::copy_options::recursive);
  std::filesystem::copy(examples / "test.ini", dir.file("test.ini"));
  std::filesystem::copy(examples / "feats", dir.file("feats"));
  std::filesystem::remove(dir.file("feats/ISSlite_camel_0.feat"));
  const struct {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{"--detectorID", "NOPE"}, 156},     // the first model's keypoint file is missing
      {{}, 156},                           // no detector name
      {{"--detectorID", "ISSlite"}, 156},  // the second model's keypoint file is missing
  };
  ::setenv("ARDENTIS_THREADS", "2", 1);
  for (const auto& c : cases) {
    std::vector<std::string> args = {"-C", "test.ini", "-S", "feats", "-O", "out", "-n", "0"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    for (int run = 0; run < 30; ++run) {
      const auto result = ardentis_test::runArdentis(args, dir.path());
      ASSERT_EQ(result.status, c.status) << "run " << run << ": " << result.err;
    }
  }
  ::unsetenv("ARDENTIS_THREADS");
  EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
}

}  // namespace
