#include "driver/run_evaluation.h"

#include <boost/program_options/variables_map.hpp>
#include <cstdio>
#include <vector>

#include "config/parse_options.h"
#include "driver/results_table.h"
#include "driver/run_stages.h"
#include "measure/repeatability.h"

int runEvaluation(int argc, char** argv) {
  std::printf("Ardentis Version 1.0\n");
  std::fflush(stdout);

  boost::program_options::variables_map vm;
  if (!parseOptions(argc, argv, vm)) return -1;

  RunRecords run;
  const int loaded = loadRunRecords(vm, run);
  if (loaded != 0) return loaded;

  RepeatabilityRadii radii;
  std::vector<double> resolutions;
  radii.meanModelResolution = measureModels(run.models, resolutions, run.threads);
  for (const double resolution : resolutions) std::printf("   Mesh resolution: %f\n", resolution);
  std::printf("\n   Mean models' resolution: %f\n", radii.meanModelResolution);
  std::printf("done.\n\n");

  prepareTester(vm, run, radii);
  extractModelKeypoints(*run.tester, run.models);
  prepareScene(vm, run, radii);
  extractSceneKeypoints(*run.tester, run.scene);

  RepeatabilityResults results(run.models.size());
  evaluateRepeatability(run.models, run.scene, radii, results, run.sceneGrid.get());
  writeResultsTable(*run.tester, vm, run.models, run.scene, results);
  std::fflush(stdout);
  return 0;
}
