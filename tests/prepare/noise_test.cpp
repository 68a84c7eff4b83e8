// ardentis-prepare noise: the generator, the displacement's statistics, files and failures.

#include <gtest/gtest.h>

#include <cmath>

#include "core/clean_poly_data.h"
#include "core/io/ply_direct_reader.h"
#include "core/mesh_resolution.h"
#include "prepare/gaussian_noise.h"
#include "prepare_test_support.h"
#include "support/temp_dir.h"

using namespace prepare_test;
using ardentis_test::readFile;
using ardentis_test::TempDir;

namespace {

// Mean and deviation of the displacement from `before` to `after` along axis k.
void DisplacementStatistics(vtkPolyData* before, vtkPolyData* after, int k, double& mean,
                            double& deviation) {
  const std::vector<double> p = Coordinates(before), q = Coordinates(after);
  double sum = 0, squares = 0;
  for (size_t i = k; i < p.size(); i += 3) {
    sum += q[i] - p[i];
    squares += (q[i] - p[i]) * (q[i] - p[i]);
  }
  mean = sum / (p.size() / 3);
  deviation = std::sqrt(squares / (p.size() / 3) - mean * mean);
}

// A test directory: a 101,762-vertex scene, one model, and test.ini naming them.
void WriteNoiseTest(const TempDir& dir) {
  WritePly(Sphere(320, 10.0), dir.file("data/scenes/scene_0.ply"));
  WritePly(Sphere(30, 1.0), dir.file("data/models/ball_0.ply"));
  dir.write("test.ini",
            "[SCENE]\nPATH = scenes/scene.ply\n[MODELS]\nNUMBER = 1\nMODEL_0 = models/ball.ply\n");
}

}  // namespace

// The first deviates of seed 1, pinned: every noisy file made with this tool depends on them,
// so a change of generator or transform must show here.
TEST(GaussianNoise, SequenceOfASeedIsFixed) {
  Ostrel::Prepare::GaussianSource source(1);
  for (double expected :
       {-0x1.42c3b2b72217p-5, -0x1.8c1da014dda08p-2, -0x1.fdd85e535a47ap-3, 0x1.5fa75918ca312p-1}) {
    EXPECT_EQ(source.next(), expected);
  }
}

TEST(NoiseCommand, WritesEachLevelUnderTheEvaluatorsNameDeterministically) {
  TempDir dir;
  WriteNoiseTest(dir);
  auto result =
      RunPrepare({"noise", "-C", "test.ini", "-n", "0.1", "0.25", "--seed", "7"}, dir.path());
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_NE(result.out.find("./data/scenes/scene_0.25.ply"), std::string::npos) << result.out;

  // σ is in mean model resolutions, measured as the evaluator measures them.
  Mesh model = Load(dir.file("data/models/ball_0.ply"));
  Ostrel::Core::Impl::CleanPolyData(model, true, 0.0, true);
  const double resolution = Ostrel::Core::Impl::compute_mesh_resolution(model);
  Mesh scene = Load(dir.file("data/scenes/scene_0.ply"));
  for (double sigma : {0.1, 0.25}) {
    const std::string path =
        dir.file(sigma == 0.1 ? "data/scenes/scene_0.1.ply" : "data/scenes/scene_0.25.ply");
    Mesh direct = Mesh::Take(Ostrel::Core::Impl::ReadSimpleBinaryPly(path.c_str()));
    ASSERT_TRUE(direct) << "not in the direct reader's layout: " << path;
    EXPECT_EQ(PolygonIds(direct), PolygonIds(scene));
    for (int k = 0; k < 3; ++k) {
      double mean = 0, deviation = 0;
      DisplacementStatistics(scene, direct, k, mean, deviation);
      EXPECT_LT(std::fabs(mean), 0.03 * sigma * resolution) << k;
      EXPECT_NEAR(deviation, sigma * resolution, 0.03 * sigma * resolution) << k;
    }
  }
  EXPECT_EQ(FilesUnder(dir.file("data/scenes")),
            (std::vector<std::string>{"scene_0.1.ply", "scene_0.25.ply", "scene_0.ply"}));

  const std::string first = readFile(dir.file("data/scenes/scene_0.1.ply"));
  ASSERT_EQ(RunPrepare({"noise", "-C", "test.ini", "-n", "0.1", "--seed", "7"}, dir.path()).status,
            0);
  EXPECT_TRUE(readFile(dir.file("data/scenes/scene_0.1.ply")) == first) << "same seed, other bytes";
  ASSERT_EQ(RunPrepare({"noise", "-C", "test.ini", "-n", "0.1", "--seed", "8"}, dir.path()).status,
            0);
  EXPECT_FALSE(readFile(dir.file("data/scenes/scene_0.1.ply")) == first)
      << "other seed, same bytes";
}

TEST(NoiseCommand, BadLevelsMissingScenesAndNoResolutionChangeNothing) {
  TempDir dir;
  WriteNoiseTest(dir);
  dir.write("bare.ini", "[SCENE]\nPATH = scenes/scene.ply\n");
  dir.write("other.ini",
            "[SCENE]\nPATH = scenes/other.ply\n[MODELS]\nNUMBER = 1\n"
            "MODEL_0 = models/ball.ply\n");
  const std::vector<std::string> before = FilesUnder(dir.path());
  const struct {
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {{"-C", "test.ini", "-n", "-0.5"}, 2, "noise level '-0.5' is not a number >= 0"},
      {{"-C", "test.ini", "-n", "0.1x"}, 2, "noise level '0.1x' is not a number >= 0"},
      {{"-C", "test.ini", "-n", "nan"}, 2, "noise level 'nan' is not a number >= 0"},
      {{"-C", "bare.ini", "-n", "0.1"}, 1, "no models to measure: give --resolution"},
      {{"-C", "bare.ini", "-n", "1", "--resolution", "0"}, 2, "--resolution must be > 0"},
      {{"-C", "none.ini", "-n", "0.1"}, 1, "none.ini: cannot open the test configuration"},
      {{"-C", "other.ini", "-n", "1"}, 1, "cannot read the scene ./data/scenes/other_0.ply"},
      {{"-C", "test.ini"}, 2, "the option '--sigmaSceneNoise' is required but missing"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"noise"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto result = RunPrepare(args, dir.path());
    EXPECT_EQ(result.status, c.status) << c.message;
    EXPECT_EQ(result.err.rfind(std::string("ardentis-prepare noise: ") + c.message, 0), 0u)
        << result.err;
    EXPECT_EQ(FilesUnder(dir.path()), before) << c.message;
  }
}
