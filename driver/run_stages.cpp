#include "driver/run_stages.h"

#include <vtkPolyData.h>

#include <cstdio>

#include "core/clean_poly_data.h"
#include "core/mesh_resolution.h"
#include "driver/decimation.h"
#include "driver/scene_and_models.h"

namespace po = boost::program_options;
using Ostrel::Core::Impl::CleanPolyData;
using Ostrel::Core::Impl::compute_mesh_resolution;

RunRecords::~RunRecords() {
  tester.reset();
  if (scene.mesh) scene.mesh->Delete();
  for (TestModel& model : models) {
    if (model.mesh) model.mesh->Delete();
    delete[] model.keypoints;
  }
  delete[] scene.keypoints;
}

int loadRunRecords(po::variables_map& vm, RunRecords& run) {
  std::printf("Loading models...\n");
  if (!loadModelsAndGroundTruth(vm, run.models)) return -2;
  if (!loadScene(vm, run.scene)) {
    std::printf("Problems loading scene\n");
    return -1;
  }
  return 0;
}

double measureModels(std::vector<TestModel>& models, std::vector<double>& resolutions) {
  resolutions.clear();
  double sum = 0.0;
  for (TestModel& model : models) {
    if (!model.mesh) continue;
    CleanPolyData(model.mesh, true, 0.0, true);
    resolutions.push_back(compute_mesh_resolution(model.mesh));
    sum += resolutions.back();
  }
  return models.empty() ? 0.0 : sum / static_cast<double>(models.size());
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

void prepareScene(po::variables_map& vm, RunRecords& run, RepeatabilityRadii& radii) {
  std::printf("   mesh resolution: %f\n", compute_mesh_resolution(run.scene.mesh));
  radii.repeatabilityTh = vm["repeatabilityTh"].as<double>();
  std::printf("\n");
  run.scene.noiseSigma = vm["sigmaSceneNoise"].as<double>();
  if (radii.decimationLevel > 0) decimateScene(vm, run.scene, radii.decimationLevel);
  if (run.scene.mesh) CleanPolyData(run.scene.mesh, true, 0.0, true);
}

void extractSceneKeypoints(IDetectorTester& tester, TestModel& scene) {
  std::printf("Computing scene keypoints: ");
  tester.extract(scene);
  std::printf("%d\n", scene.numKeypoints);
}
