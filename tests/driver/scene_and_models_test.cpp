// Scene, model and ground-truth loading, run in a scratch working directory holding ./data/.

#include "driver/scene_and_models.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <vtkPolyData.h>

#include <boost/program_options/variables_map.hpp>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace po = boost::program_options;

namespace {

template <typename T>
void set(po::variables_map& vm, const std::string& key, const T& value) {
  vm.insert({key, po::variable_value(boost::any(value), false)});
}

// An ascii PLY fan of `vertices` points (at least 3) joined by one triangle.
std::string plyWithVertices(int vertices) {
  std::string ply = "ply\nformat ascii 1.0\nelement vertex " + std::to_string(vertices) +
                    "\nproperty float x\nproperty float y\nproperty float z\n"
                    "element face 1\nproperty list uchar int vertex_indices\nend_header\n";
  for (int v = 0; v < vertices; ++v)
    ply += std::to_string(v) + " " + std::to_string(v % 2) + " 0\n";
  return ply + "3 0 1 2\n";
}

const char* const kIdentityPose = "1 0 0 0 0 1 0 0 0 0 1 0\n";

class SceneAndModelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
  }
  void TearDown() override {
    reset();
    if (scene.mesh != nullptr) scene.mesh->Delete();
    std::filesystem::current_path(previous);
  }
  // Forgets the options and the models loaded so far.
  void reset() {
    for (TestModel& model : models)
      if (model.mesh != nullptr) model.mesh->Delete();
    models.clear();
    vm.clear();
  }
  void addModel(int i, const std::string& mesh, const std::string& groundTruth) {
    set(vm, "MODELS.MODEL_" + std::to_string(i), mesh);
    set(vm, "MODELS.MODEL_" + std::to_string(i) + "_GROUNDTRUTH", groundTruth);
  }
  // Runs the model loader, returning its result and leaving its output in `out`.
  bool loadModels(int number) {
    set(vm, "MODELS.NUMBER", number);
    ::testing::internal::CaptureStdout();
    const bool loaded = loadModelsAndGroundTruth(vm, models);
    out = ::testing::internal::GetCapturedStdout();
    return loaded;
  }

  ardentis_test::TempDir dir;
  std::filesystem::path previous;
  po::variables_map vm;
  std::vector<TestModel> models;
  TestModel scene;
  std::string out;
};

TEST(MeshPathWithNoise, InsertsTheSuffixBeforeTheLastDotOfTheConfiguredName) {
  const struct {
    const char* configured;
    const char* noise;
    const char* path;
  } cases[] = {
      {"scenes/s1.ply", "0.1", "./data/scenes/s1_0.1.ply"},
      {"\"models/m1.ply\"", "0", "./data/models/m1_0.ply"},
      {"mo\"dels/m1.p\"ly", "0", "./data/models/m1_0.ply"},
      {"a.b.ply", "0", "./data/a.b_0.ply"},
      {"models/m1", "0", "./data/models/m1_0"},  // never lands in the "./data/" prefix
  };
  for (const auto& c : cases) EXPECT_EQ(meshPathWithNoise(c.configured, c.noise), c.path);
}

TEST_F(SceneAndModelsTest, SceneFileCarriesTheNoiseLevelAsPrintfG) {
  const struct {
    double sigma;
    const char* path;
  } cases[] = {{0.0, "./data/scenes/s1_0.ply"},
               {0.1, "./data/scenes/s1_0.1.ply"},
               {0.25, "./data/scenes/s1_0.25.ply"},
               {0.00001, "./data/scenes/s1_1e-05.ply"}};
  set(vm, "SCENE.PATH", std::string("scenes/s1.ply"));
  set(vm, "sigmaSceneNoise", 0.0);
  for (const auto& c : cases) {
    dir.write(std::string(c.path).substr(2), plyWithVertices(4));
    vm.at("sigmaSceneNoise").value() = c.sigma;
    TestModel loaded;
    ::testing::internal::CaptureStdout();
    ASSERT_TRUE(loadScene(vm, loaded)) << c.path;
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              std::string("Loading scene...\n   ") + c.path + "\n   # points: 4\n");
    EXPECT_EQ(loaded.meshPath, c.path);
    EXPECT_EQ(loaded.noiseSigma, c.sigma);
    EXPECT_TRUE(loaded.name.empty());
    loaded.mesh->Delete();
  }
  dir.write("data/scenes/s1_0.1.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
  vm.at("SCENE.PATH").value() = std::string("scenes/s1.off");
  vm.at("sigmaSceneNoise").value() = 0.1;
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(loadScene(vm, scene));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Loading scene...\n   ./data/scenes/s1_0.1.off\n");
  EXPECT_EQ(scene.mesh, nullptr);
}

TEST_F(SceneAndModelsTest, GroundTruthReadsTheSameFromAnyLayout) {
  const char* layouts[] = {
      "1 2 3 10 4 5 6 11 7 8 9 12\n",
      "1 2 3 10\n4 5 6 11\n7 8 9 12\n",
      "1\t2 3 10\n4 5 6 11\n7 8 9 12\n0 0 0 1\n",
  };
  for (const char* layout : layouts) {
    TestModel model;
    ASSERT_TRUE(readGroundTruth(dir.write("gt.txt", layout), model)) << layout;
    for (int k = 0; k < 9; ++k) EXPECT_EQ(model.rotation[k], k + 1.0f) << layout;
    for (int k = 0; k < 3; ++k) EXPECT_EQ(model.translation[k], k + 10.0f) << layout;
  }
}

TEST_F(SceneAndModelsTest, ModelsLoadInConfigurationOrder) {
  dir.write("data/models/m1_0.ply", plyWithVertices(3));
  dir.write("data/models/m2_0.ply", plyWithVertices(5));
  dir.write("data/gt/m1.txt", kIdentityPose);
  dir.write("data/gt/m2.txt", "0 1 0 0.5\n1 0 0 0.25\n0 0 1 -1\n");
  addModel(0, "models/m1.ply", "gt/m1.txt");
  addModel(1, "\"models/m2.ply\"", "\"gt/m2.txt\"");
  ASSERT_TRUE(loadModels(2));
  EXPECT_EQ(out, "Loading ground truth...\ndone.\n\n");
  ASSERT_EQ(models.size(), 2u);
  EXPECT_EQ(models[0].meshPath, "./data/models/m1_0.ply");
  EXPECT_EQ(models[1].meshPath, "./data/models/m2_0.ply");
  EXPECT_EQ(models[0].mesh->GetNumberOfPoints(), 3);
  EXPECT_EQ(models[1].mesh->GetNumberOfPoints(), 5);
  EXPECT_EQ(models[1].noiseSigma, 0.0);
  EXPECT_EQ(models[1].rotation[1], 1.0f);
  EXPECT_EQ(models[1].translation[0], 0.5f);
  EXPECT_EQ(models[1].translation[2], -1.0f);
  for (int number : {0, -2}) {
    reset();
    ASSERT_TRUE(loadModels(number));
    EXPECT_EQ(out, "Loading ground truth...\ndone.\n\n");
    EXPECT_TRUE(models.empty());
  }
}

// Failures of model loading: the loader stops with one line naming the file.
TEST_F(SceneAndModelsTest, ModelFailuresStopWithTheMessage) {
  dir.write("data/models/m1_0.ply", plyWithVertices(3));
  dir.write("data/models/m1_0.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
  dir.write("data/models/m1_0", plyWithVertices(3));
  const struct {
    const char* mesh;             // configured value
    const char* groundTruth;      // configured value
    const char* groundTruthFile;  // content of data/gt/m1.txt, or null for none
    const char* message;
  } cases[] = {
      {"models/m1.off", "gt/m1.txt", kIdentityPose, "Error opening file: ./data/models/m1_0.off"},
      {"models/m1", "gt/m1.txt", kIdentityPose, "Error opening file: ./data/models/m1_0"},
      {"models/m1.ply", "\"gt/m1.txt\"", nullptr, "Error opening file: \"gt/m1.txt\""},
      {"models/m1.ply", "gt/m1.txt", "1 0 0 0 0 1 0 0 0 0 1\n", "Error opening file: gt/m1.txt"},
      {"models/m1.ply", "gt/m1.txt", "1 0 0 0\n0 1 0 0\n0 0 one 0\n",
       "Error opening file: gt/m1.txt"},
      {"models/m1.ply", "gt/m1.txt", "", "Error opening file: gt/m1.txt"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove("data/gt/m1.txt");
    if (c.groundTruthFile != nullptr) dir.write("data/gt/m1.txt", c.groundTruthFile);
    reset();
    addModel(0, c.mesh, c.groundTruth);
    EXPECT_FALSE(loadModels(1)) << c.message;
    EXPECT_EQ(out, std::string("Loading ground truth...\n") + c.message + "\n");
    EXPECT_EQ(models.size(), 1u);
  }
}

TEST_F(SceneAndModelsTest, MissingModelKeyIsReportedNotThrown) {
  dir.write("data/models/m1_0.ply", plyWithVertices(3));
  dir.write("data/gt/m1.txt", kIdentityPose);
  addModel(0, "models/m1.ply", "gt/m1.txt");
  EXPECT_FALSE(loadModels(2));
  EXPECT_EQ(
      out, "Loading ground truth...\nMissing value for MODELS.MODEL_1 in the test configuration\n");
  EXPECT_EQ(models.size(), 2u);
  EXPECT_NE(models[0].mesh, nullptr);
}

}  // namespace
