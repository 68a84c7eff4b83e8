// A benchmark end to end with the real tools: a dataset of ten scenes composed from the example
// models, noise, a grid of two detectors at two budgets on GNU parallel, the report. The merged
// rows equal the evaluator's own runs by hand; every scene's ground truth maps its models onto
// its vertices.

#include <gtest/gtest.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <array>
#include <filesystem>
#include <sstream>

#include "core/io/load_poly_data.h"
#include "core/kd_tree.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "testset/ground_truth.h"
#include "testset/naming.h"
#include "testset/test_configuration.h"

using ardentis_test::ProcessResult;
using ardentis_test::readFile;
using Mesh = vtkSmartPointer<vtkPolyData>;

namespace {

ProcessResult run(const std::string& binary, const std::vector<std::string>& args,
                  const std::string& dir) {
  return ardentis_test::runProcess(binary, args, dir, 600);
}

std::vector<std::string> datasetConfigurations() {
  std::vector<std::string> files;
  for (int s = 1; s <= 10; ++s) {
    char name[32];
    std::snprintf(name, sizeof name, "scene-%03d.ini", s);
    files.push_back(name);
  }
  return files;
}

// The rows of `table` whose scene name begins with `scene`, in order.
std::string rowsOf(const std::string& table, const std::string& scene) {
  std::istringstream lines(table);
  std::string rows;
  for (std::string line; std::getline(lines, line);) {
    if (line.find(";" + scene + "_") != std::string::npos) rows += line + "\n";
  }
  return rows;
}

// Every scene vertex is a model vertex carried by its ground truth (the view keeps a subset).
void expectGroundTruthMapsModels(const std::string& dir, const std::string& config) {
  Ostrel::TestSet::TestConfiguration configuration;
  ASSERT_EQ(Ostrel::TestSet::readTestConfiguration(dir + "/" + config, configuration), "");
  const Mesh scene = Mesh::Take(Ostrel::Core::Impl::LoadPolyData(
      (dir + "/" + Ostrel::TestSet::meshPathWithNoise(configuration.scene, "0")).c_str()));
  ASSERT_TRUE(scene);
  auto mapped = Mesh::New();
  auto points = vtkSmartPointer<vtkPoints>::New();
  for (const Ostrel::TestSet::ModelEntry& model : configuration.models) {
    float r[9], t[3];
    ASSERT_TRUE(Ostrel::TestSet::readGroundTruth(
        dir + "/" + Ostrel::TestSet::groundTruthPath(model.groundTruth), r, t));
    const Mesh mesh = Mesh::Take(Ostrel::Core::Impl::LoadPolyData(
        (dir + "/" + Ostrel::TestSet::meshPathWithNoise(model.mesh, "0")).c_str()));
    ASSERT_TRUE(mesh);
    for (vtkIdType i = 0; i < mesh->GetNumberOfPoints(); ++i) {
      const double* p = mesh->GetPoint(i);
      points->InsertNextPoint(r[0] * p[0] + r[1] * p[1] + r[2] * p[2] + t[0],
                              r[3] * p[0] + r[4] * p[1] + r[5] * p[2] + t[1],
                              r[6] * p[0] + r[7] * p[1] + r[8] * p[2] + t[2]);
    }
  }
  mapped->SetPoints(points);
  Ostrel::Core::Impl::KdTree tree(mapped);
  double worst = 0.0;
  for (vtkIdType i = 0; i < scene->GetNumberOfPoints(); ++i) {
    double q[3];
    scene->GetPoint(i, q);
    int nearest = -1;
    worst = std::max(worst, tree.FindNearestPoint(q, nearest));
  }
  EXPECT_LT(worst, 1e-3) << config;  // float rounding of models 100-260 units across
}

TEST(Dataset, TenScenesFromPrepareThroughTheGridEqualTheEvaluatorByHand) {
  ardentis_test::TempDir dir;
  const std::string models = std::string(ARDENTIS_SOURCE_DIR) + "/examples/data/models/";
  const ProcessResult composed =
      run(ARDENTIS_PREPARE_BINARY,
          {"scene", "-o", "bench", "--scenes", "10", "--models-per-scene", "2", "--seed", "3",
           "--view", "0", "0", "1000", "--model", models + "bear_0.ply", "--model",
           models + "camel_0.ply", "--model", models + "mannequin-devil_0.ply"},
          dir.path());
  ASSERT_EQ(composed.status, 0) << composed.err;
  const std::string bench = dir.file("bench");
  std::vector<std::string> noise = {"noise", "-C"};
  for (const std::string& config : datasetConfigurations()) noise.push_back(config);
  noise.insert(noise.end(), {"-n", "0.3"});
  ASSERT_EQ(run(ARDENTIS_PREPARE_BINARY, noise, bench).status, 0);
  for (const std::string& config : datasetConfigurations())
    expectGroundTruthMapsModels(bench, config);

  dir.write("grid.ini",
            "[grid]\nconfigFile = scene-*.ini\nnoise = 0 0.3\nthresholds = 2\nkeep = 5 all\n"
            "[UNIFORM]\ndetector = uniform\n[ISS3D]\ndetector = iss\n");
  const ProcessResult grid =
      run(ARDENTIS_GRID_BINARY, {"grid.ini", "--workdir", "bench", "--jobs", "2"}, dir.path());
  ASSERT_EQ(grid.status, 0) << grid.out << grid.err;
  EXPECT_NE(grid.out.find("rows written: 160 in 4 tables"), std::string::npos) << grid.out;
  const std::string report = readFile(bench + "/report/report.csv");
  EXPECT_NE(report.find("\nUNIFORM_keep-5;"), std::string::npos) << report;

  for (const std::string id : {"ISS3D_keep-5", "UNIFORM"}) {
    const std::string merged = readFile(bench + "/results/" + id + ".csv");
    for (const std::string scene : {"scene-001", "scene-007"}) {
      for (const std::string level : {"0", "0.3"}) {
        const ProcessResult byHand =
            ardentis_test::runArdentis({"-C", scene + ".ini", "-S", "feats", "-O", "byhand",
                                        "--detectorID", id, "-n", level, "-t", "2"},
                                       bench);
        ASSERT_EQ(byHand.status, 0) << byHand.out << byHand.err;
      }
      EXPECT_EQ(rowsOf(merged, scene), rowsOf(readFile(bench + "/byhand/" + id + ".csv"), scene))
          << id << " " << scene;
      EXPECT_FALSE(rowsOf(merged, scene).empty()) << id << " " << scene;
    }
  }
}

}  // namespace
