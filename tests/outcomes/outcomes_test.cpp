// ardentis-inspect against the evaluator: the same counts for the same options, the mesh as the
// project's loader reads it, and its refusals.

#include <gtest/gtest.h>
#include <vtkDataArray.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>

#include <array>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "core/io/load_poly_data.h"
#include "support/ply_file.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "testset/evaluation_mesh.h"

namespace {

using ardentis_test::ProcessResult;
using Counts = std::array<int, 3>;  // model keypoints, non-occluded, repeatable

ProcessResult inspect(const std::vector<std::string>& args, const std::string& dir) {
  return ardentis_test::runProcess(ARDENTIS_INSPECT_BINARY, args, dir);
}

// Per model, as ardentis prints them.
std::vector<Counts> evaluatorCounts(const std::string& out) {
  const std::regex block(
      "Keypoints of the model\\[\\d+\\]: (\\d+)\n"
      "Keypoints of the model\\[\\d+\\] present in the scene: (\\d+)\n"
      "Keypoints of the scene: \\d+\n"
      "Keypoints of the model\\[\\d+\\] closer than epsilon to a keypoints of the scene: (\\d+)");
  std::vector<Counts> counts;
  for (std::sregex_iterator m(out.begin(), out.end(), block), end; m != end; ++m)
    counts.push_back({std::stoi((*m)[1]), std::stoi((*m)[2]), std::stoi((*m)[3])});
  return counts;
}

// Per model, as ardentis-inspect prints them.
std::vector<Counts> inspectionCounts(const std::string& out) {
  const std::regex line(": (\\d+) keypoints, (\\d+) non-occluded, (\\d+) repeatable ");
  std::vector<Counts> counts;
  for (std::sregex_iterator m(out.begin(), out.end(), line), end; m != end; ++m)
    counts.push_back({std::stoi((*m)[1]), std::stoi((*m)[2]), std::stoi((*m)[3])});
  return counts;
}

// Both tools on the same options, run in `dir`; their outputs go to `out`/results and
// `out`/inspected. `counts` receives the evaluator's.
void expectSameCounts(const std::string& dir, const std::string& out,
                      std::vector<std::string> options, std::vector<std::string> inspectOptions,
                      std::vector<Counts>& counts) {
  std::vector<std::string> run = options;
  run.insert(run.end(), {"-O", out + "/results"});
  const ProcessResult evaluated = ardentis_test::runArdentis(run, dir);
  ASSERT_EQ(evaluated.status, 0) << evaluated.out << evaluated.err;
  options.insert(options.end(), {"-o", out + "/inspected"});
  options.insert(options.end(), inspectOptions.begin(), inspectOptions.end());
  const ProcessResult inspected = inspect(options, dir);
  ASSERT_EQ(inspected.status, 0) << inspected.out << inspected.err;
  counts = evaluatorCounts(evaluated.out);
  EXPECT_FALSE(counts.empty());
  EXPECT_EQ(inspectionCounts(inspected.out), counts) << inspected.out;
}

TEST(Inspect, TheExampleCountsAreTheRunsCounts) {
  ardentis_test::TempDir out;
  std::vector<Counts> counts;
  expectSameCounts(
      ARDENTIS_SOURCE_DIR "/examples", out.path(),
      {"-C", "test.ini", "-S", "feats", "--detectorID", "ISSlite", "-n", "0.1", "-t", "2"},
      {"--no-picture"}, counts);
  EXPECT_EQ(counts.size(), 3u);
}

// A model of 20 x 20 unit squares; the scene holds its left half (x < 10) moved 100 along x,
// and a second grid as clutter. Of its 7 keypoints, 3 have a scene keypoint on them, 2 lie on
// the scene's half with no scene keypoint near, 2 on the half the scene lacks.
class GeneratedScene : public testing::Test {
 protected:
  void SetUp() override {
    ardentis_test::PlyMesh model, scene;
    grid(model, 0, 21);
    grid(scene, 100, 10);
    grid(scene, 140, 10);
    dir.write("data/models/plane_0.ply", ardentis_test::plyFile(model));
    dir.write("data/scenes/scene_0.ply", ardentis_test::plyFile(scene, "binary_little_endian"));
    dir.write("data/gt/plane.txt", "1 0 0 100\n0 1 0 0\n0 0 1 0\n");
    dir.write("test.ini",
              "[SCENE]\nPATH = scenes/scene.ply\n[MODELS]\nNUMBER = 1\n"
              "MODEL_0 = models/plane.ply\nMODEL_0_GROUNDTRUTH = gt/plane.txt\n");
    dir.write("feats/DET_plane_0.feat",
              "7\n2 2 0 1 0 0\n4 4 0 1 0 0\n6 6 0 1 0 0\n3 15 0 1 0 0\n8 15 0 1 0 0\n"
              "15 15 0 1 0 0\n17 3 0 1 0 0\n");
    dir.write("feats/DET_scene_0.feat",
              "4\n102 2 0 1 0 0\n104 4 0 1 0 0\n106 6 0 1 0 0\n145 5 0 1 0 0\n");
  }

  // Vertices (x0 + i, j, 0) for i < columns, j < 21, two triangles per square.
  static void grid(ardentis_test::PlyMesh& mesh, double x0, int columns) {
    const int first = int(mesh.points.size());
    for (int j = 0; j < 21; ++j)
      for (int i = 0; i < columns; ++i) mesh.points.push_back({x0 + i, double(j), 0.0});
    for (int j = 0; j + 1 < 21; ++j) {
      for (int i = 0; i + 1 < columns; ++i) {
        const int a = first + j * columns + i;
        mesh.faces.push_back({a, a + 1, a + columns + 1});
        mesh.faces.push_back({a, a + columns + 1, a + columns});
      }
    }
  }

  const std::vector<std::string> options = {"-C",  "test.ini", "-S", "feats", "--detectorID",
                                            "DET", "-n",       "0",  "-t",    "2"};
  ardentis_test::TempDir dir;
};

TEST_F(GeneratedScene, CountsMeshAndPicture) {
  std::vector<Counts> counts;
  expectSameCounts(dir.path(), dir.path(), options, {"--view", "120", "10", "60"}, counts);
  EXPECT_EQ(counts, (std::vector<Counts>{{7, 5, 3}}));

  // The mesh through the project's loader: the cleaned scene, then six vertices per keypoint
  // in the colour of its outcome.
  vtkPolyData* mesh = Ostrel::Core::Impl::LoadPolyData(dir.file("inspected/plane_0.ply").c_str());
  ASSERT_NE(mesh, nullptr);
  const vtkIdType sceneVertices =
      Ostrel::TestSet::loadCleanMesh(dir.file("data/scenes/scene_0.ply"))->GetNumberOfPoints();
  EXPECT_EQ(mesh->GetNumberOfPoints(), sceneVertices + 6 * (7 + 4));
  std::map<std::array<int, 3>, int> colours;
  vtkDataArray* rgb = mesh->GetPointData()->GetArray("RGB");
  ASSERT_NE(rgb, nullptr);
  for (vtkIdType i = 0; i < rgb->GetNumberOfTuples(); ++i) {
    const double* c = rgb->GetTuple3(i);
    ++colours[{int(c[0]), int(c[1]), int(c[2])}];
  }
  mesh->Delete();
  const std::map<std::array<int, 3>, int> expected = {
      {{190, 190, 190}, int(sceneVertices)},
      {{0, 158, 115}, 6 * 3},  // repeatable
      {{213, 94, 0}, 6 * 2},   // non-occluded, not repeatable
      {{64, 64, 64}, 6 * 2},   // occluded
      {{0, 114, 178}, 6 * 4},  // scene keypoints
  };
  EXPECT_EQ(colours, expected);
  // The picture is the report's (tests/report/test_inspect.py): here, that it was made.
  EXPECT_EQ(ardentis_test::readFile(dir.file("inspected/plane_0.png")).substr(0, 8),
            "\x89PNG\r\n\x1a\n");
}

TEST_F(GeneratedScene, RefusalsLeaveNoOutput) {
  const struct {
    std::vector<std::string> change;
    int status;
    std::string message;
  } cases[] = {
      {{"--detectorID", "NOPE"},
       1,
       "ardentis-inspect: cannot read keypoints from feats/NOPE_plane_0.feat: no such file\n"},
      {{"-t", "0"}, 2, "ardentis-inspect: repeatabilityTh must be a positive number\n"},
      {{"-C", "none.ini"}, 2, "ardentis-inspect: none.ini: cannot open the test configuration\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = options;
    for (std::size_t k = 0; k < c.change.size(); k += 2) {
      for (std::size_t a = 0; a < args.size(); ++a)
        if (args[a] == c.change[k]) args[a + 1] = c.change[k + 1];
    }
    args.insert(args.end(), {"-o", "out"});
    const ProcessResult result = inspect(args, dir.path());
    EXPECT_EQ(result.status, c.status) << c.message;
    EXPECT_EQ(result.err, c.message);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
  }
}

}  // namespace
