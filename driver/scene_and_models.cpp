#include "driver/scene_and_models.h"

#include <vtkPolyData.h>

#include <cstdio>

#include "core/io/load_poly_data.h"
#include "driver/scene_prefetch.h"
#include "testset/configuration_keys.h"
#include "testset/ground_truth.h"
#include "testset/naming.h"

namespace {

using Ostrel::TestSet::meshPathWithNoise;

// Only ".ply" paths are loaded for a run, whatever else LoadPolyData could read. A file the
// silent road cannot read takes the general one, whose readers are first tried in a forked
// child: a child forked beside a running thread may inherit a lock that thread holds and never
// get it, so the scene's work on the other thread is waited for first.
vtkPolyData* loadPlyMesh(const std::string& meshPath, ScenePrefetch* prefetch) {
  if (meshPath.find(".ply") == std::string::npos) return nullptr;
  if (vtkPolyData* mesh = Ostrel::Core::Impl::LoadPolyDataSilently(meshPath.c_str())) return mesh;
  if (prefetch != nullptr) prefetch->wait();
  std::fflush(stdout);  // keep the progress lines before any message of the reader
  return Ostrel::Core::Impl::LoadPolyData(meshPath.c_str());
}

// The configuration stage is expected to have checked the keys; a missing one still ends the
// loading with a message instead of an exception.
bool isConfigured(boost::program_options::variables_map& vm, const std::string& key) {
  if (vm.count(key) != 0 && !vm[key].empty()) return true;
  std::printf("Missing value for %s in the test configuration\n", key.c_str());
  std::fflush(stdout);
  return false;
}

bool configuredString(boost::program_options::variables_map& vm, const std::string& key,
                      std::string& value) {
  if (!isConfigured(vm, key)) return false;
  value = vm[key].as<std::string>();
  return true;
}

bool loadModel(boost::program_options::variables_map& vm, int i, TestModel& model,
               ScenePrefetch* prefetch) {
  std::string configuredMesh;
  std::string configuredGroundTruth;
  if (!configuredString(vm, modelKey(i), configuredMesh) ||
      !configuredString(vm, groundTruthKey(i), configuredGroundTruth)) {
    return false;
  }

  model.meshPath = meshPathWithNoise(configuredMesh, "0");
  model.noiseSigma = 0.0;
  model.mesh = loadPlyMesh(model.meshPath, prefetch);
  if (model.mesh == nullptr) {
    std::printf("Error opening file: %s\n", model.meshPath.c_str());
    std::fflush(stdout);
    return false;
  }

  const std::string groundTruthPath = Ostrel::TestSet::groundTruthPath(configuredGroundTruth);
  if (!Ostrel::TestSet::readGroundTruth(groundTruthPath, model.rotation, model.translation)) {
    std::printf("Error opening file: %s\n", configuredGroundTruth.c_str());
    std::fflush(stdout);
    return false;
  }
  return true;
}

}  // namespace

std::string scenePath(boost::program_options::variables_map& vm,
                      const std::string& configuredScene) {
  return meshPathWithNoise(configuredScene,
                           Ostrel::TestSet::noiseLevelName(vm["sigmaSceneNoise"].as<double>()));
}

std::string plyScenePath(boost::program_options::variables_map& vm) {
  if (vm.count("SCENE.PATH") == 0 || vm["SCENE.PATH"].empty()) return "";
  const std::string path = scenePath(vm, vm["SCENE.PATH"].as<std::string>());
  return path.find(".ply") != std::string::npos ? path : "";
}

bool loadScene(boost::program_options::variables_map& vm, TestModel& scene,
               ScenePrefetch* prefetch) {
  std::string configuredScene;
  if (!configuredString(vm, "SCENE.PATH", configuredScene)) return false;

  scene.noiseSigma = vm["sigmaSceneNoise"].as<double>();
  scene.meshPath = scenePath(vm, configuredScene);

  std::printf("Loading scene...\n   %s\n", scene.meshPath.c_str());
  const bool ours = prefetch != nullptr && prefetch->path() == scene.meshPath;
  const long prefetched = ours ? prefetch->waitForReading() : -1;
  if (prefetched >= 0) {
    std::printf("   # points: %ld\n", prefetched);
    return true;
  }
  scene.mesh = loadPlyMesh(scene.meshPath, prefetch);
  if (scene.mesh == nullptr) return false;
  std::printf("   # points: %ld\n", static_cast<long>(scene.mesh->GetNumberOfPoints()));
  return true;
}

bool loadModelsAndGroundTruth(boost::program_options::variables_map& vm,
                              std::vector<TestModel>& models, ScenePrefetch* prefetch) {
  if (!isConfigured(vm, "MODELS.NUMBER")) return false;
  const int numberOfModels = vm["MODELS.NUMBER"].as<int>();
  std::printf("Loading ground truth...\n");
  for (int i = 0; i < numberOfModels; ++i) {
    models.emplace_back();
    if (!loadModel(vm, i, models.back(), prefetch)) return false;
  }
  std::printf("done.\n\n");
  return true;
}
