// Complete runs of the real binary on small data sets written by the tests, with keypoints
// placed at known distances from the matching and visibility radii.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_process.h"
#include "support/temp_dir.h"

using ardentis_test::readFile;
using ardentis_test::runArdentis;
using ardentis_test::TempDir;

namespace {

using Point = std::array<float, 3>;

std::string asciiPly(const std::vector<Point>& points,
                     const std::vector<std::array<int, 3>>& faces) {
  std::ostringstream ply;
  ply << "ply\nformat ascii 1.0\nelement vertex " << points.size()
      << "\nproperty float x\nproperty float y\nproperty float z\nelement face " << faces.size()
      << "\nproperty list uchar int vertex_indices\nend_header\n";
  for (const Point& p : points) ply << p[0] << " " << p[1] << " " << p[2] << "\n";
  for (const auto& f : faces) ply << "3 " << f[0] << " " << f[1] << " " << f[2] << "\n";
  return ply.str();
}

struct Keypoint {
  Point position;
  float scale;
};

std::string keypointFile(const std::vector<Keypoint>& keypoints) {
  std::ostringstream file;
  file << keypoints.size() << "\n";
  int index = 0;
  for (const Keypoint& k : keypoints) {
    file << k.position[0] << " " << k.position[1] << " " << k.position[2] << " " << k.scale << " "
         << index++ << " 0.5\n";
  }
  return file.str();
}

// Every model is one 3-4-5 triangle (resolution exactly 4), so with -t 0.25 both radii are 1.
const std::string kModelMesh = asciiPly({{0, 0, 0}, {3, 0, 0}, {0, 4, 0}}, {{0, 1, 2}});

// Model poses: a quarter turn about z, then 100 along x. A model point p lies in the scene at
// (100 - p.y, p.x, p.z), so the scene point s comes from the model point (s.y, 100 - s.x, s.z).
const std::string kPose = "0 -1 0 100\n1 0 0 0\n0 0 1 0\n";
Point modelPointFor(const Point& s) {
  return {s[1], 100.0f - s[0], s[2]};
}

// Scene: six 3-4-5 triangles with corners S_k = (20k, 0, 0), (20k + 3, 0, 0), (20k, -4, 0).
Point sceneCorner(int k) {
  return {20.0f * k, 0, 0};
}
std::string sceneMesh() {
  std::vector<Point> points;
  std::vector<std::array<int, 3>> faces;
  for (int k = 0; k < 6; ++k) {
    points.push_back(sceneCorner(k));
    points.push_back({20.0f * k + 3, 0, 0});
    points.push_back({20.0f * k, -4, 0});
    faces.push_back({3 * k, 3 * k + 1, 3 * k + 2});
  }
  return asciiPly(points, faces);
}

Point offset(const Point& p, float dx, float dy, float dz) {
  return {p[0] + dx, p[1] + dy, p[2] + dz};
}

// A data set with two models and the scene at noise 0.1, keypoints named after detector DET.
class EvaluationRun : public testing::Test {
 protected:
  void SetUp() override {
    dir.write("test.ini",
              "[SCENE]\nPATH = scenes/s1.ply\n[MODELS]\nNUMBER = 2\n"
              "MODEL_0 = models/m1.ply\nMODEL_0_GROUNDTRUTH = gt/m1.txt\n"
              "MODEL_1 = \"models/m2.ply\"\nMODEL_1_GROUNDTRUTH = \"gt/m2.txt\"\n");
    dir.write("data/models/m1_0.ply", kModelMesh);
    dir.write("data/models/m2_0.ply", kModelMesh);
    dir.write("data/gt/m1.txt", kPose);
    dir.write("data/gt/m2.txt", kPose + "0 0 0 1\n");
    dir.write("data/scenes/s1_0.1.ply", sceneMesh());
    writeKeypoints("");
  }

  // Keypoint files for detector DET, with `radiusTag` ("" or "_R-6") in their names.
  void writeKeypoints(const std::string& radiusTag) {
    const std::vector<Keypoint> scene = {{sceneCorner(0), 1.5f}, {sceneCorner(1), 1.0f},
                                         {sceneCorner(2), 1.0f}, {sceneCorner(3), 2.0f},
                                         {sceneCorner(4), 1.0f}, {sceneCorner(5), 0.0f}};
    const std::vector<Keypoint> model1 = {
        {modelPointFor(sceneCorner(0)), 1.5f},                      // repeatable, equal scales: 1
        {modelPointFor(offset(sceneCorner(1), 0, 0, 1)), 1.0f},     // both distances exactly 1: 0
        {modelPointFor(sceneCorner(2)), 2.0f},                      // scales 2 and 1: 0.125
        {modelPointFor(sceneCorner(3)), 1.0f},                      // scales 1 and 2: 0.125
        {modelPointFor(offset(sceneCorner(4), 0, 0, 1.5f)), 1.0f},  // occluded
        {modelPointFor(sceneCorner(5)), 3.0f}};                     // scale 0 against 3: 0
    const std::vector<Keypoint> model2 = {
        {modelPointFor({3, 0, 0}), 1.0f},     // on the scene, no scene keypoint near
        {modelPointFor({50, 50, 0}), 1.0f}};  // far from the scene
    dir.write("feats/DET" + radiusTag + "_s1_0.1.feat", keypointFile(scene));
    dir.write("feats/DET" + radiusTag + "_m1_0.feat", keypointFile(model1));
    dir.write("feats/DET" + radiusTag + "_m2_0.feat", keypointFile(model2));
  }

  // Runs with detector DET unless `extra` names a detector of its own.
  ardentis_test::ProcessResult run(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"-C", "test.ini", "-S", "feats",
                                     "-O", "results",  "-t", "0.25"};
    if (std::find(extra.begin(), extra.end(), "--detectorID") == extra.end()) {
      extra.insert(extra.end(), {"--detectorID", "DET"});
    }
    args.insert(args.end(), extra.begin(), extra.end());
    return runArdentis(args, dir.path());
  }

  std::string table() const { return readFile(dir.file("results/DET.csv")); }

  TempDir dir;
};

const std::string kHeader =
    ";Sigma noise;Radius;Repeatable Keypoints;TotScaleRepeatability;RepeatabilityTh;"
    "Model Keypoints;Non-occluded Keypoints;Scene Keypoints;Scene Name\n";
const std::string kRows =
    "m1_0;0.1;-1;5;1.25;0.25;6;5;6;s1_0.1\n"
    "m2_0;0.1;-1;0;0;0.25;2;1;6;s1_0.1\n";

TEST_F(EvaluationRun, PrintsEveryStageAndTheModelBlocks) {
  const auto result = run();
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(result.err, "");
  const std::string expected =
      "Ardentis Version 1.0\n"
      "Loading models...\n"
      "Loading ground truth...\n"
      "done.\n\n"
      "Loading scene...\n"
      "   ./data/scenes/s1_0.1.ply\n"
      "   # points: 18\n"
      "   Mesh resolution: 4.000000\n"
      "   Mesh resolution: 4.000000\n"
      "\n   Mean models' resolution: 4.000000\n"
      "done.\n\n"
      "Read keypoints from file\n"
      "No decimation.\n"
      "Computing model keypoints\n"
      " > model 0: 6\n"
      " > model 1: 2\n"
      "done.\n\n"
      "   mesh resolution: 4.000000\n"
      "\n"
      "Computing scene keypoints: 6\n"
      "Building keypoints kdtree...done.\n\n"
      "Keypoints of the model[0]: 6\n"
      "Keypoints of the model[0] present in the scene: 5\n"
      "Keypoints of the scene: 6\n"
      "Keypoints of the model[0] closer than epsilon to a keypoints of the scene: 5\n"
      "Epsilon value: 1.000000\n"
      "Model 0 repeatability :1.000000\n"
      "Current Noise:0.100000\n"
      "Model 0 scaleRepeatability :0.250000\n\n"
      "Keypoints of the model[1]: 2\n"
      "Keypoints of the model[1] present in the scene: 1\n"
      "Keypoints of the scene: 6\n"
      "Keypoints of the model[1] closer than epsilon to a keypoints of the scene: 0\n"
      "Epsilon value: 1.000000\n"
      "Model 1 repeatability :0.000000\n"
      "Current Noise:0.100000\n"
      "Model 1 scaleRepeatability :0.000000\n\n"
      "writing xls file..\n";
  EXPECT_EQ(result.out, expected);
  EXPECT_EQ(table(), kHeader + kRows);
}

// No models: the mean resolution is 0 rather than 0 / 0, the scene is still read, and the table
// gets its header and no row.
TEST_F(EvaluationRun, NoModelsWritesOnlyTheHeader) {
  dir.write("test.ini", "[SCENE]\nPATH = scenes/s1.ply\n[MODELS]\nNUMBER = 0\n");
  const auto result = run();
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_NE(result.out.find("Loading ground truth...\ndone.\n\n"), std::string::npos);
  EXPECT_NE(result.out.find("\n   Mean models' resolution: 0.000000\ndone.\n\n"),
            std::string::npos);
  EXPECT_NE(result.out.find("Computing model keypoints\ndone.\n\n"), std::string::npos);
  EXPECT_NE(result.out.find("Computing scene keypoints: 6\nBuilding keypoints kdtree...done.\n\n"
                            "writing xls file..\n"),
            std::string::npos)
      << result.out;
  EXPECT_EQ(table(), kHeader);
}

TEST_F(EvaluationRun, SecondRunAppendsRowsUnderTheSameHeader) {
  ASSERT_EQ(run().status, 0);
  ASSERT_EQ(run().status, 0);
  EXPECT_EQ(table(), kHeader + kRows + kRows);
}

TEST_F(EvaluationRun, ExistingTableWithoutFinalLineEndKeepsItsLines) {
  dir.write("results/DET.csv", kHeader + "old;row");
  ASSERT_EQ(run().status, 0);
  EXPECT_EQ(table(), kHeader + "old;row\n" + kRows);
}

TEST_F(EvaluationRun, RadiusNamesTheKeypointFilesAndFillsItsColumn) {
  writeKeypoints("_R-6");
  std::filesystem::remove_all(dir.file("feats/DET_m1_0.feat"));
  const auto result = run({"-r", "6"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(table(), kHeader +
                         "m1_0;0.1;6;5;1.25;0.25;6;5;6;s1_0.1\n"
                         "m2_0;0.1;6;0;0;0.25;2;1;6;s1_0.1\n");
}

TEST_F(EvaluationRun, SceneWithoutSurfaceOccludesEveryKeypoint) {
  dir.write("data/scenes/s1_0.1.ply", asciiPly({{0, 0, 0}, {20, 0, 0}}, {}));
  const auto result = run();
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("./data/scenes/s1_0.1.ply"), std::string::npos) << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  EXPECT_NE(result.out.find("Keypoints of the model[0] present in the scene: 0\n"),
            std::string::npos);
  EXPECT_EQ(table(), kHeader +
                         "m1_0;0.1;-1;0;0;0.25;6;0;6;s1_0.1\n"
                         "m2_0;0.1;-1;0;0;0.25;2;0;6;s1_0.1\n");
}

TEST_F(EvaluationRun, FailuresEndWithTheirStatusAndLeaveNoTable) {
  struct Case {
    const char* name;
    const char* file;     // file to remove or rewrite
    const char* content;  // nullptr: remove it
    std::vector<std::string> extraArgs;
    int status;
    std::string outTail;  // what stdout ends with
    std::string err;
  };
  const std::vector<Case> cases = {
      {"model missing",
       "data/models/m2_0.ply",
       nullptr,
       {},
       254,
       "Error opening file: ./data/models/m2_0.ply\n",
       ""},
      {"ground truth missing",
       "data/gt/m2.txt",
       nullptr,
       {},
       254,
       "Error opening file: \"gt/m2.txt\"\n",
       ""},
      {"ground truth short",
       "data/gt/m1.txt",
       "1 0 0 0\n0 1 0 0\n",
       {},
       254,
       "Error opening file: gt/m1.txt\n",
       ""},
      {"scene missing",
       "data/scenes/s1_0.1.ply",
       nullptr,
       {},
       255,
       "   ./data/scenes/s1_0.1.ply\n\nERROR LoadPly: CannotOpenFileError\nProblems loading "
       "scene\n",
       ""},
      {"no detector",
       "feats/unused",
       nullptr,
       {"--detectorID", "YourDetectorName"},
       156,
       "Read keypoints from file\n",
       "To read keypoints from files, you must specify a valid detector name  with the option "
       "--detectorID\n"},
      {"keypoints missing",
       "feats/DET_m2_0.feat",
       nullptr,
       {},
       156,
       " > model 0: 6\n",
       "Cannot open file feats/DET_m2_0.feat\n"},
      {"keypoint count zero",
       "feats/DET_s1_0.1.feat",
       "0\n",
       {},
       156,
       "Computing scene keypoints: ",
       "Cannot open file feats/DET_s1_0.1.feat\n"},
      {"keypoint count negative",
       "feats/DET_m1_0.feat",
       "-5\n1 2 3 4 5 6\n",
       {},
       156,
       "Computing model keypoints\n",
       "Cannot open file feats/DET_m1_0.feat\n"},
  };
  for (const Case& c : cases) {
    SetUp();
    if (c.content) {
      dir.write(c.file, c.content);
    } else {
      std::filesystem::remove(dir.file(c.file));
    }
    const auto result = run(c.extraArgs);
    EXPECT_EQ(result.status, c.status) << c.name;
    ASSERT_GE(result.out.size(), c.outTail.size()) << c.name;
    EXPECT_EQ(result.out.substr(result.out.size() - c.outTail.size()), c.outTail) << c.name << ":\n"
                                                                                  << result.out;
    EXPECT_EQ(result.err, c.err) << c.name;
    EXPECT_FALSE(std::filesystem::exists(dir.file("results/DET.csv"))) << c.name;
  }
}

TEST_F(EvaluationRun, ParallelRunsIntoOneTableKeepEveryRow) {
  constexpr int kRuns = 16;
  std::vector<pid_t> children;
  for (int i = 0; i < kRuns; ++i) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      const auto result = run();
      _exit(result.status == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::string expected = kHeader;
  for (int i = 0; i < kRuns; ++i) expected += kRows;
  EXPECT_EQ(table(), expected);
  for (const auto& entry : std::filesystem::directory_iterator(dir.file("results"))) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "DET.csv" || name == "DET.csv.lock") << "left behind: " << name;
  }
}

}  // namespace
