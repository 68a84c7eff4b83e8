#include "driver/run_stages.h"

#include <vtkPolyData.h>

#include <cstdio>

#include "core/io/load_poly_data.h"
#include "core/mesh_resolution.h"
#include "core/run_threads.h"
#include "driver/decimation.h"
#include "driver/scene_and_models.h"
#include "testset/evaluation_mesh.h"

namespace po = boost::program_options;
using Ostrel::Core::Impl::compute_mesh_resolution;

RunRecords::~RunRecords() {
  scenePrefetch.reset();  // its thread ends before anything it could use goes
  tester.reset();
  if (scene.mesh) scene.mesh->Delete();
  for (TestModel& model : models) {
    if (model.mesh) model.mesh->Delete();
    delete[] model.keypoints;
  }
  delete[] scene.keypoints;
}

int loadRunRecords(po::variables_map& vm, RunRecords& run) {
  const std::string scenePath = plyScenePath(vm);
  run.threads = RunThreadCount();
  if (run.threads > 1 && !scenePath.empty())
    run.scenePrefetch =
        std::make_unique<ScenePrefetch>(scenePath, vm["repeatabilityTh"].as<double>());
  std::printf("Loading models...\n");
  if (!loadModelsAndGroundTruth(vm, run.models, run.scenePrefetch.get())) return -2;
  if (!loadScene(vm, run.scene, run.scenePrefetch.get())) {
    std::printf("Problems loading scene\n");
    return -1;
  }
  return 0;
}

double measureModels(std::vector<TestModel>& models, std::vector<double>& resolutions,
                     int threads) {
  std::vector<vtkPolyData*> meshes;
  for (const TestModel& model : models) meshes.push_back(model.mesh);
  return Ostrel::TestSet::measureModels(meshes, resolutions, threads);
}

void prepareTester(po::variables_map& vm, RunRecords& run, RepeatabilityRadii& radii) {
  run.tester.reset(IDetectorTester::getDetector(vm, radii.meanModelResolution));
  radii.decimationLevel = run.tester->decimate();
  if (radii.decimationLevel < 1) {
    std::printf("No decimation.\n");
    radii.meanResolution = radii.meanModelResolution;
    return;
  }
  radii.meanResolution = decimateModels(vm, run.models, radii.decimationLevel);
  run.tester.reset();  // the detector must work at the decimated resolution
  run.tester.reset(IDetectorTester::getDetector(vm, radii.meanResolution));
}

void extractModelKeypoints(IDetectorTester& tester, std::vector<TestModel>& models) {
  std::printf("Computing model keypoints\n");
  for (std::size_t i = 0; i < models.size(); ++i) {
    tester.extract(models[i]);
    std::printf(" > model %lu: %d\n", static_cast<unsigned long>(i), models[i].numKeypoints);
  }
  std::printf("done.\n\n");
}

// The scene mesh the prefetch read and cleaned, with its resolution as read and its grid;
// false (the run's own scene left as it is) when it read none or the run loaded the scene itself.
bool takePrefetchedScene(RunRecords& run, double& resolutionAsRead) {
  const std::unique_ptr<ScenePrefetch> prefetch = std::move(run.scenePrefetch);
  if (!prefetch || run.scene.mesh != nullptr) return false;
  vtkPolyData* mesh = prefetch->takeMesh();
  if (mesh == nullptr) return false;
  run.scene.mesh = mesh;
  resolutionAsRead = prefetch->resolutionAsRead();
  run.sceneGrid = prefetch->takeGrid();
  return true;
}

void prepareScene(po::variables_map& vm, RunRecords& run, RepeatabilityRadii& radii) {
  double resolution = 0.0;
  bool cleaned = takePrefetchedScene(run, resolution);
  if (!cleaned) resolution = compute_mesh_resolution(run.scene.mesh);
  std::printf("   mesh resolution: %f\n", resolution);
  radii.repeatabilityTh = vm["repeatabilityTh"].as<double>();
  std::printf("\n");
  run.scene.noiseSigma = vm["sigmaSceneNoise"].as<double>();
  if (radii.decimationLevel > 0) {
    if (cleaned) {  // decimation works on the mesh as read: read it again (silently, as before)
      run.sceneGrid.reset();
      run.scene.mesh->Delete();
      run.scene.mesh = Ostrel::Core::Impl::LoadPolyData(run.scene.meshPath.c_str());
      cleaned = false;
    }
    decimateScene(vm, run.scene, radii.decimationLevel);
  }
  if (run.scene.mesh && !cleaned) Ostrel::TestSet::cleanAsEvaluated(run.scene.mesh);
}

void extractSceneKeypoints(IDetectorTester& tester, TestModel& scene) {
  std::printf("Computing scene keypoints: ");
  tester.extract(scene);
  std::printf("%d\n", scene.numKeypoints);
}
