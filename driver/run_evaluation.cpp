#include "driver/run_evaluation.h"

#include <vtkPolyData.h>

#include <boost/program_options/variables_map.hpp>
#include <cstdio>
#include <memory>
#include <vector>

#include "config/parse_options.h"
#include "core/clean_poly_data.h"
#include "core/mesh_resolution.h"
#include "driver/decimation.h"
#include "driver/repeatability.h"
#include "driver/results_table.h"
#include "driver/scene_and_models.h"
#include "testers/detector_tester.h"

namespace po = boost::program_options;
using Ostrel::Core::Impl::CleanPolyData;
using Ostrel::Core::Impl::compute_mesh_resolution;

namespace {

// The records of one run. Meshes and keypoint arrays are not owned by their TestModel, so the
// run releases them here, tester first, on every way out of the run.
struct RunRecords {
  std::vector<TestModel> models;
  TestModel scene;
  std::unique_ptr<IDetectorTester> tester;

  RunRecords() = default;
  RunRecords(const RunRecords&) = delete;
  RunRecords& operator=(const RunRecords&) = delete;
  ~RunRecords() {
    tester.reset();
    if (scene.mesh) scene.mesh->Delete();
    for (TestModel& model : models) {
      if (model.mesh) model.mesh->Delete();
      delete[] model.keypoints;
    }
    delete[] scene.keypoints;
  }
};

// Cleans every model, prints its resolution and returns the mean over the model list (0.0 for
// an empty list rather than 0 / 0).
double measureModels(std::vector<TestModel>& models) {
  double sum = 0.0;
  for (TestModel& model : models) {
    if (!model.mesh) continue;
    CleanPolyData(model.mesh, true, 0.0, true);
    const double resolution = compute_mesh_resolution(model.mesh);
    std::printf("   Mesh resolution: %f\n", resolution);
    sum += resolution;
  }
  const double mean = models.empty() ? 0.0 : sum / static_cast<double>(models.size());
  std::printf("\n   Mean models' resolution: %f\n", mean);
  std::printf("done.\n\n");
  return mean;
}

void extractModelKeypoints(IDetectorTester& tester, std::vector<TestModel>& models) {
  std::printf("Computing model keypoints\n");
  for (std::size_t i = 0; i < models.size(); ++i) {
    tester.extract(models[i]);
    std::printf(" > model %lu: %d\n", static_cast<unsigned long>(i), models[i].numKeypoints);
  }
  std::printf("done.\n\n");
}

}  // namespace

int runEvaluation(int argc, char** argv) {
  std::printf("Ardentis Version 1.0\n");
  std::fflush(stdout);

  po::variables_map vm;
  if (!parseOptions(argc, argv, vm)) return -1;

  RunRecords run;
  std::printf("Loading models...\n");
  if (!loadModelsAndGroundTruth(vm, run.models)) return -2;
  if (!loadScene(vm, run.scene)) {
    std::printf("Problems loading scene\n");
    return -1;
  }

  RepeatabilityRadii radii;
  radii.meanModelResolution = measureModels(run.models);
  run.tester.reset(IDetectorTester::getDetector(vm, radii.meanModelResolution));
  radii.decimationLevel = run.tester->decimate();
  if (radii.decimationLevel < 1) {
    std::printf("No decimation.\n");
    radii.meanResolution = radii.meanModelResolution;
  } else {
    radii.meanResolution = decimateModels(vm, run.models, radii.decimationLevel);
    run.tester.reset();  // the detector must work at the decimated resolution
    run.tester.reset(IDetectorTester::getDetector(vm, radii.meanResolution));
  }

  extractModelKeypoints(*run.tester, run.models);
  std::printf("   mesh resolution: %f\n", compute_mesh_resolution(run.scene.mesh));
  radii.repeatabilityTh = vm["repeatabilityTh"].as<double>();
  std::printf("\n");
  run.scene.noiseSigma = vm["sigmaSceneNoise"].as<double>();
  if (radii.decimationLevel > 0) decimateScene(vm, run.scene, radii.decimationLevel);
  if (run.scene.mesh) CleanPolyData(run.scene.mesh, true, 0.0, true);

  std::printf("Computing scene keypoints: ");
  run.tester->extract(run.scene);
  std::printf("%d\n", run.scene.numKeypoints);

  RepeatabilityResults results(run.models.size());
  evaluateRepeatability(run.models, run.scene, radii, results);
  writeResultsTable(*run.tester, vm, run.models, run.scene, results);
  std::fflush(stdout);
  return 0;
}
