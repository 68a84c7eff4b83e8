// The evaluation stages one by one: decimation, repeatability, the results table. Mesh paths
// and ground-truth files are read end to end in run_evaluation_test.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vtkCellArray.h>
#include <vtkDataArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <set>
#include <sstream>
#include <tuple>

#include "core/mesh_resolution.h"
#include "core/poly_data_storage.h"
#include "driver/decimation.h"
#include "driver/results_table.h"
#include "driver/run_stages.h"
#include "driver/scene_and_models.h"
#include "measure/repeatability.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace po = boost::program_options;
using ardentis_test::readFile;
using Ostrel::Core::Impl::compute_mesh_resolution;
using Ostrel::LocalFeatures::Impl::Feature3D;

namespace {

// A flat side x side grid of unit squares, two triangles each.
vtkPolyData* grid(int side) {
  std::vector<float> points;
  std::vector<int> triangles;
  for (int a = 0; a < side * side; ++a) {
    points.insert(points.end(), {float(a % side), float(a / side), 0.0f});
    if ((a + 1) % side != 0 && a + side + 1 < side * side)
      triangles.insert(triangles.end(), {a, a + 1, a + side, a + 1, a + side + 1, a + side});
  }
  return Ostrel::Core::Impl::CreatePolyData(points.data(), side * side, nullptr, triangles.data(),
                                            unsigned(triangles.size() / 3));
}

po::variables_map options(int maxVertexes) {
  po::variables_map vm;
  vm.insert({"maxVertexesInDataset", po::variable_value(boost::any(maxVertexes), false)});
  vm.insert({"radius", po::variable_value(boost::any(10), false)});
  vm.insert({"repeatabilityTh", po::variable_value(boost::any(2.0), false)});
  return vm;
}

// Targets keep the fraction, rounded half up; a model at the maximum level stays as it is.
TEST(DecimationDeathTest, TargetsStagesAndTheMissingParameter) {
  const int cases[][4] = {{601, 1000, 500, 301},  {2000, 1000, 500, 1000}, {1, 1000, 500, 1},
                          {600, 1000, 1000, 600}, {600, 1000, 2000, 1200}, {600, 0, 500, 600}};
  for (const auto& c : cases) EXPECT_EQ(decimationTarget(c[0], c[1], c[2]), c[3]) << c[0];
  std::vector<TestModel> models(1);
  TestModel scene;
  std::tie(models[0].mesh, scene.mesh) = std::tuple(grid(21), grid(21));
  // No positive maximum ends the run: checked before VTK's filter starts any thread, so that
  // the death tests fork a process of one thread.
  for (int maxVertexes : {0, -1}) {
    po::variables_map vm = options(maxVertexes);
    EXPECT_EXIT(decimateModels(vm, models, 500), testing::ExitedWithCode(156),
                "^Cannot decimate without maxVertexesInDataset parameter$");
  }
  po::variables_map vm = options(1000);
  double mean = 0;
  const std::string out = ardentis_test::capture([&] {
                            mean = decimateModels(vm, models, 1000);
                            decimateScene(vm, scene, 500);
                          }).out;
  const double r0 = compute_mesh_resolution(models[0].mesh);
  const long scenePoints = long(scene.mesh->GetNumberOfPoints());
  EXPECT_LT(scenePoints, 300);
  EXPECT_EQ(models[0].mesh->GetNumberOfPolys(), 800);  // an unchanged copy
  char expected[1024];
  std::snprintf(expected, sizeof expected,
                "Decimation   Vertexes and Mesh resolution after decimation: 441,  %f\n"
                "\n   Mean mesh resolution after decimation: %f\ndone.\n\n"
                "Scene decimation.\nVertexes and Mesh resolution after decimation: %ld, %lf.\n"
                "done.\n\n",
                r0, r0, scenePoints, compute_mesh_resolution(scene.mesh));
  EXPECT_EQ(out, expected);
  EXPECT_EQ(mean, r0);
  for (auto* mesh : {models[0].mesh, scene.mesh}) mesh->Delete();
}

// A side x side grid as a scanner leaves it: every point stored twice (triangles use either
// copy), triangles that collapse once copies merge, and a last point no triangle uses. With
// `polygon` it also holds a 17-gon, which only VTK's filter cleans.
vtkPolyData* rawScan(int side, bool polygon) {
  std::vector<double> xyz;
  for (int a = 0; a < side * side; ++a)
    for (int copy = 0; copy < 2; ++copy) xyz.insert(xyz.end(), {a % side * 1.0, a / side * 1.5, 0});
  xyz.insert(xyz.end(), {-1, -1, -1});
  std::vector<std::vector<vtkIdType>> cells;
  for (int a = 0; a + side + 1 < side * side; ++a) {
    if ((a + 1) % side == 0) continue;
    const vtkIdType c = a % 2;  // which copy
    cells.push_back({2 * a + c, 2 * (a + 1), 2 * (a + side) + 1 - c});
    cells.push_back({2 * (a + 1) + c, 2 * (a + side + 1), 2 * (a + side)});
    if (a % 5 == 0) cells.push_back({2 * a, 2 * a + 1, 2 * (a + 1)});  // collapses to a line
  }
  if (polygon) {
    cells.emplace_back();
    for (vtkIdType k = 0; k < 17; ++k) cells.back().push_back(2 * k);
  }
  auto* mesh = vtkPolyData::New();
  vtkNew<vtkPoints> points;
  for (std::size_t i = 0; i < xyz.size(); i += 3) points->InsertNextPoint(&xyz[i]);
  vtkNew<vtkCellArray> polys;
  for (const auto& cell : cells) polys->InsertNextCell(vtkIdType(cell.size()), cell.data());
  mesh->SetPoints(points);
  mesh->SetPolys(polys);
  return mesh;
}

// Models cleaned and measured by several threads at once: the same meshes and resolutions, to
// the last bit, as one thread gives (run under ThreadSanitizer, it also checks that cleaning
// meshes side by side shares nothing unguarded).
TEST(MeasureModels, AnyThreadCountGivesTheSameResults) {
  std::vector<double> resolutions[2];
  double means[2];
  std::vector<std::string> points[2];
  const int threadCounts[] = {1, 3};
  for (int run = 0; run < 2; ++run) {
    std::vector<TestModel> models(6);
    for (std::size_t i = 0; i < models.size(); ++i)
      if (i != 3) models[i].mesh = i % 2 ? grid(15 + int(i)) : rawScan(12 + int(i), i != 2);
    means[run] = measureModels(models, resolutions[run], threadCounts[run]);
    for (TestModel& model : models) {
      if (model.mesh == nullptr) continue;
      vtkDataArray* xyz = model.mesh->GetPoints()->GetData();
      points[run].push_back(std::string(static_cast<const char*>(xyz->GetVoidPointer(0)),
                                        xyz->GetNumberOfValues() * xyz->GetDataTypeSize()) +
                            std::to_string(model.mesh->GetNumberOfPolys()));
      model.mesh->Delete();
    }
  }
  EXPECT_EQ(resolutions[0].size(), 5u);
  EXPECT_EQ(resolutions[0], resolutions[1]);
  EXPECT_EQ(means[0], means[1]);
  EXPECT_EQ(points[0], points[1]);
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();

// One model keypoint against one scene keypoint over scene vertices (0,0,0), (5,0,0), (100,1,0),
// m² = v² = 1 (v² = 4 when decimated); a second model without keypoints gets a block of zeros.
TEST(Repeatability, OneKeypointCountsAndScaleScore) {
  const std::string noPoints =
      "Scene ./data/s1_0.1.ply has no points to test visibility against: every model keypoint "
      "counts as occluded\n";
  const float sceneVertices[] = {0, 0, 0, 5, 0, 0, 100, 1, 0};
  const struct {
    const char* what;
    Feature3D model, scene;  // x y z scale
    int nonOccluded, repeatable;
    double score;
    int decimationLevel = -1;
    int sceneVertices = 3;  // 0: an empty mesh, -1: none
  } cases[] = {
      // clang-format off
      {"beyond the visibility radius", {0, 1.001f, 0, 1}, {0, 0, 0, 1}, 0, 0, 0},
      {"model 0", {5, 0, 0, 0}, {5, 0, 0, 1}, 1, 1, 0.0},
      {"model scale NaN", {5, 0, 0, kNaN}, {5, 0, 0, 1}, 1, 1, 0.0},
      {"scene scale NaN", {5, 0, 0, 1}, {5, 0, 0, kNaN}, 1, 1, 0.0},
      {"NaN coordinate", {kNaN, 0, 0, 1}, {0, 0, 0, 1}, 0, 0, 0.0},
      {"visible only at the decimated radius", {0, 1.5f, 0, 1}, {0, 0, 0, 1}, 1, 0, 0.0, 500},
      {"hidden at the model radius", {0, 1.5f, 0, 1}, {0, 0, 0, 1}, 0, 0, 0.0, -1},
      {"scene mesh without points", {0, 0, 0, 1}, {0, 0, 0, 1}, 0, 0, 0.0, -1, 0},
      {"no scene mesh", {0, 0, 0, 1}, {0, 0, 0, 1}, 0, 0, 0.0, -1, -1},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Feature3D model = c.model, scene = c.scene;
    std::vector<TestModel> models(2);
    models[0].rotation[0] = models[0].rotation[4] = models[0].rotation[8] = 1;
    std::tie(models[0].keypoints, models[0].numKeypoints) = std::tuple(&model, 1);
    TestModel sceneRecord;
    std::tie(sceneRecord.meshPath, sceneRecord.keypoints, sceneRecord.numKeypoints) =
        std::tuple("./data/s1_0.1.ply", &scene, 1);
    if (c.sceneVertices >= 0)
      sceneRecord.mesh =
          Ostrel::Core::Impl::CreatePolyData(sceneVertices, c.sceneVertices, nullptr, nullptr, 0);
    const RepeatabilityRadii radii{0.5, 1.0, c.decimationLevel, 2.0};
    RepeatabilityResults results(2), silent(2);
    KeypointOutcomes outcomes, silentOutcomes;
    const auto printed = ardentis_test::capture(
        [&] { evaluateRepeatability(models, sceneRecord, radii, results, nullptr, &outcomes); });
    const auto quiet = ardentis_test::capture([&] {
      measureRepeatability(models, sceneRecord, radii, silent, nullptr, &silentOutcomes);
    });
    if (sceneRecord.mesh != nullptr) sceneRecord.mesh->Delete();
    EXPECT_EQ(results.nonOccludedKeypoints, (std::vector<int>{c.nonOccluded, 0}));
    EXPECT_EQ(results.repeatableKeypoints, (std::vector<int>{c.repeatable, 0}));
    EXPECT_DOUBLE_EQ(results.totScaleRepeatability[0], c.score);
    const KeypointOutcome outcome = c.repeatable    ? KeypointOutcome::repeatable
                                    : c.nonOccluded ? KeypointOutcome::nonOccluded
                                                    : KeypointOutcome::occluded;
    EXPECT_EQ(outcomes, (KeypointOutcomes{{outcome}, {}}));
    // The silent road: the same measure, nothing printed.
    EXPECT_EQ(quiet.out + quiet.err, "");
    EXPECT_EQ(silent.nonOccludedKeypoints, results.nonOccludedKeypoints);
    EXPECT_EQ(silent.repeatableKeypoints, results.repeatableKeypoints);
    EXPECT_EQ(silent.totScaleRepeatability, results.totScaleRepeatability);
    EXPECT_EQ(silentOutcomes, outcomes);
    EXPECT_NE(printed.out.find("Keypoints of the model[1]: 0\nKeypoints of the model[1] present "
                               "in the scene: 0\n"),
              std::string::npos);
    EXPECT_EQ(printed.err, c.sceneVertices > 0 ? "" : noPoints);
  }
}

// Names the table at a fixed path.
struct TableTester : IDetectorTester {
  explicit TableTester(std::string table) : IDetectorTester(none, 1.0, -1), table(table) {}
  std::string getOutputFilename(po::variables_map&) override { return table; }
  bool IsScaleInvariant() override { return false; }
  int decimate() override { return -1; }
  std::string getDetectorNickname() override { return "DET"; }
  static inline std::string none;
  std::string table;
};

// Writes one run's records, the row <name>;0.1;10;40;30.5;2;100;80;500;s1_0.1 for every model.
void writeTable(TableTester& tester, std::vector<std::string> names = {"m1"}) {
  po::variables_map vm = options(0);
  std::vector<TestModel> models(names.size());
  TestModel scene;
  std::tie(scene.name, scene.noiseSigma, scene.numKeypoints) = std::tuple("s1_0.1", 0.1, 500);
  RepeatabilityResults results(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::tie(models[i].name, models[i].numKeypoints) = std::tuple(names[i], 100);
    results.nonOccludedKeypoints[i] = 80;
    results.repeatableKeypoints[i] = 40;
    results.totScaleRepeatability[i] = 30.5;
  }
  writeResultsTable(tester, vm, models, scene, results);
}

void expectTableAndLockOnly(const std::string& dir) {  // no temporary file left behind
  namespace fs = std::filesystem;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
  EXPECT_TRUE(fs::exists(dir + "/DET.csv.lock"));
}

// A file size limit makes the new table's write fail part way, as a full disk would.
void writeWithFileSizeLimit(TableTester& tester, std::size_t bytes) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{rlim_t(bytes), rlim_t(bytes)};
  setrlimit(RLIMIT_FSIZE, &limit);
  writeTable(tester);
  std::exit(0);
}

// A failed write keeps the old table whole; a later one keeps its lines and ends its last one.
// A new table's header and rows are checked end to end in run_evaluation_test.
TEST(ResultsTableDeathTest, FailedWriteKeepsTheOldTableAndAWriteAppends) {
  ardentis_test::TempDir dir;
  const std::string old = std::string(200, 'h') + "\n\nold;row";  // room for the message
  TableTester tester(dir.write("DET.csv", old));
  EXPECT_EXIT(writeWithFileSizeLimit(tester, old.size()), testing::ExitedWithCode(0),
              "^Cannot write results table .*/DET\\.csv: [^\n]*\n$");
  EXPECT_EQ(readFile(tester.table), old);
  ardentis_test::capture([&] { writeTable(tester); });
  EXPECT_EQ(readFile(tester.table), old + "\nm1;0.1;10;40;30.5;2;100;80;500;s1_0.1\n");
  expectTableAndLockOnly(dir.path());
}

TEST(ResultsTable, ConcurrentRunsKeepEveryRowAndOneHeader) {
  constexpr int kWriters = 24;
  ardentis_test::TempDir dir;
  TableTester tester(dir.file("DET.csv"));
  std::vector<pid_t> writers;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
      const std::string id = "w" + std::to_string(w);
      writeTable(tester, {id + "a", id + "b", id + "c", id + "d"});
      _exit(0);
    }
    writers.push_back(pid);
  }
  for (pid_t pid : writers) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::istringstream table(readFile(tester.table));
  std::string line;
  std::getline(table, line);
  EXPECT_EQ(line.rfind(";Sigma noise;", 0), 0u);
  std::set<std::string> rows;  // the row names; a second header would add ""
  while (std::getline(table, line)) rows.insert(line.substr(0, line.find(';')));
  EXPECT_EQ(rows.size(), std::size_t(kWriters * 4));
  expectTableAndLockOnly(dir.path());
}

}  // namespace
