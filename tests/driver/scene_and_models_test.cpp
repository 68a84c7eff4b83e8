// Scene, model and ground-truth loading, run in a scratch working directory holding ./data/.

#include "driver/scene_and_models.h"

#include <gtest/gtest.h>
#include <vtkPolyData.h>

#include <filesystem>

#include "support/ply_file.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace po = boost::program_options;

namespace {

template <typename T>
void set(po::variables_map& vm, const std::string& key, const T& value) {
  vm.erase(key);
  vm.insert({key, po::variable_value(boost::any(value), false)});
}

const std::string kTriangle =
    ardentis_test::plyFile({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}});

TEST(MeshPathWithNoise, InsertsTheSuffixBeforeTheLastDotOfTheConfiguredName) {
  const char* cases[][3] = {
      {"scenes/s1.ply", "0.1", "./data/scenes/s1_0.1.ply"},
      {"\"models/m1.ply\"", "0", "./data/models/m1_0.ply"},
      {"mo\"dels/m1.p\"ly", "0", "./data/models/m1_0.ply"},
      {"a.b.ply", "0", "./data/a.b_0.ply"},
      {"models/m1", "0", "./data/models/m1_0"},  // never lands in the "./data/" prefix
  };
  for (const auto& c : cases) EXPECT_EQ(meshPathWithNoise(c[0], c[1]), c[2]);
}

// Loading inside a scratch directory; each call starts from no models.
class SceneAndModelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    dir.write("data/models/m1_0.ply", kTriangle);
    dir.write("data/models/m1_0.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
    dir.write("data/models/m1_0", kTriangle);
  }
  void TearDown() override { std::filesystem::current_path(previous); }
  // The loader's result and output for models configured as `keys` (name, value pairs).
  std::pair<bool, std::string> loadModels(int number, std::vector<std::string> keys) {
    po::variables_map vm;
    set(vm, "MODELS.NUMBER", number);
    for (size_t k = 0; k + 1 < keys.size(); k += 2) set(vm, "MODELS." + keys[k], keys[k + 1]);
    std::vector<TestModel> models;
    bool loaded = false;
    const std::string out =
        ardentis_test::capture([&] { loaded = loadModelsAndGroundTruth(vm, models); }).out;
    for (TestModel& model : models)
      if (model.mesh != nullptr) model.mesh->Delete();
    return {loaded, out};
  }
  ardentis_test::TempDir dir;
  std::filesystem::path previous;
};

TEST_F(SceneAndModelsTest, SceneFileCarriesTheNoiseLevelAsPrintfGAndMustBePly) {
  po::variables_map vm;
  set(vm, "SCENE.PATH", std::string("scenes/s1.ply"));
  for (const auto& [sigma, path] :
       std::vector<std::pair<double, std::string>>{{0.0, "./data/scenes/s1_0.ply"},
                                                   {0.25, "./data/scenes/s1_0.25.ply"},
                                                   {0.00001, "./data/scenes/s1_1e-05.ply"}}) {
    dir.write(path, kTriangle);
    set(vm, "sigmaSceneNoise", sigma);
    TestModel scene;
    const auto out = ardentis_test::capture([&] { EXPECT_TRUE(loadScene(vm, scene)); }).out;
    EXPECT_EQ(out, "Loading scene...\n   " + path + "\n   # points: 3\n");
    EXPECT_EQ(scene.meshPath, path);
    EXPECT_EQ(scene.noiseSigma, sigma);
    if (scene.mesh != nullptr) scene.mesh->Delete();
  }
  dir.write("data/scenes/s1_0.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
  set(vm, "SCENE.PATH", std::string("scenes/s1.off"));
  set(vm, "sigmaSceneNoise", 0.0);
  TestModel scene;
  const auto out = ardentis_test::capture([&] { EXPECT_FALSE(loadScene(vm, scene)); }).out;
  EXPECT_EQ(out, "Loading scene...\n   ./data/scenes/s1_0.off\n");
  EXPECT_EQ(scene.mesh, nullptr);
}

TEST_F(SceneAndModelsTest, GroundTruthReadsTheSameFromAnyLayoutAndNeedsTwelveNumbers) {
  for (const char* layout : {"1 2 3 10 4 5 6 11 7 8 9 12\n", "1 2 3 10\n4 5 6 11\n7 8 9 12\n",
                             "1\t2 3 10\n4 5 6 11\n7 8 9 12\n0 0 0 1\n"}) {
    TestModel model;
    ASSERT_TRUE(readGroundTruth(dir.write("gt.txt", layout), model)) << layout;
    for (int k = 0; k < 9; ++k) EXPECT_EQ(model.rotation[k], k + 1.0f) << layout;
    for (int k = 0; k < 3; ++k) EXPECT_EQ(model.translation[k], k + 10.0f) << layout;
  }
  for (const char* bad : {"1 0 0 0 0 1 0 0 0 0 1\n", "1 0 0 0\n0 1 0 0\n0 0 one 0\n", ""}) {
    TestModel model;
    model.translation[2] = 7;
    EXPECT_FALSE(readGroundTruth(dir.write("gt.txt", bad), model)) << bad;
    EXPECT_EQ(model.translation[2], 7);
  }
}

// The loader stops at the first model it cannot read, with one line naming the file.
TEST_F(SceneAndModelsTest, ModelFailuresStopWithTheMessage) {
  dir.write("data/gt/m1.txt", "1 0 0 0 0 1 0 0 0 0 1 0\n");
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"MODEL_0", "models/m1.ply", "MODEL_0_GROUNDTRUTH", "gt/m1.txt"}, "done.\n\n"},
      {{"MODEL_0", "models/m1.off", "MODEL_0_GROUNDTRUTH", "gt/m1.txt"},
       "Error opening file: ./data/models/m1_0.off\n"},
      {{"MODEL_0", "models/m1", "MODEL_0_GROUNDTRUTH", "gt/m1.txt"},
       "Error opening file: ./data/models/m1_0\n"},
      {{"MODEL_0", "models/m1.ply", "MODEL_0_GROUNDTRUTH", "gt/none.txt"},
       "Error opening file: gt/none.txt\n"},
  };
  for (const auto& [keys, message] : cases)
    EXPECT_EQ(loadModels(1, keys),
              std::make_pair(message == "done.\n\n", "Loading ground truth...\n" + message));
  // A key the configuration stage should have caught is reported, not thrown.
  EXPECT_EQ(loadModels(2, cases[0].first),
            std::make_pair(false, std::string("Loading ground truth...\nMissing value for "
                                              "MODELS.MODEL_1 in the test configuration\n")));
  EXPECT_EQ(loadModels(-2, {}),
            std::make_pair(true, std::string("Loading ground truth...\ndone.\n\n")));
}

}  // namespace
