#include "bench/stage_timings.h"

#include <fcntl.h>
#include <unistd.h>
#include <vtkCellArray.h>
#include <vtkDataArray.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <boost/program_options/variables_map.hpp>
#include <chrono>
#include <cstdio>
#include <functional>

#include "config/parse_options.h"
#include "core/kd_tree.h"
#include "core/point_grid.h"
#include "driver/results_table.h"
#include "driver/run_stages.h"
#include "measure/keypoint_cloud.h"
#include "measure/repeatability.h"

namespace ardentis_bench {
namespace {

using Ostrel::Core::Impl::KdTree;
using Ostrel::Core::Impl::PointGrid;

// Sends standard output to /dev/null while it lives.
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    saved_ = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
  }

 private:
  int saved_;
};

// Adds the time `work` takes to `total`.
void Timed(double& total, const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  total +=
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double MeshBytes(vtkPolyData* mesh) {
  if (mesh == nullptr) return 0;
  double bytes = 0;
  if (mesh->GetPoints() != nullptr) bytes += 1024.0 * mesh->GetPoints()->GetActualMemorySize();
  bytes += 1024.0 * mesh->GetPolys()->GetActualMemorySize();
  return bytes;
}

// The run's stages in the current directory; stops after a failed load.
void RunStages(const std::vector<std::string>& args, StageTimes& times) {
  std::vector<std::string> argvStrings = {"ardentis"};
  argvStrings.insert(argvStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argvStrings) argv.push_back(&a[0]);
  boost::program_options::variables_map vm;
  if (!parseOptions(int(argv.size()), argv.data(), vm)) return;

  RunRecords run;
  int loaded = 0;
  Timed(times.loadMs, [&] { loaded = loadRunRecords(vm, run); });
  if (loaded != 0) return;
  for (TestModel& m : run.models) times.meshBytes += MeshBytes(m.mesh);
  times.meshBytes += MeshBytes(run.scene.mesh);

  RepeatabilityRadii radii;
  std::vector<double> resolutions;
  Timed(times.modelsMs,
        [&] { radii.meanModelResolution = measureModels(run.models, resolutions); });
  Timed(times.keypointsMs, [&] {
    prepareTester(vm, run, radii);
    extractModelKeypoints(*run.tester, run.models);
  });
  Timed(times.sceneMs, [&] { prepareScene(vm, run, radii); });
  Timed(times.keypointsMs, [&] { extractSceneKeypoints(*run.tester, run.scene); });

  // The same locators the evaluation builds, timed on their own.
  Timed(times.locatorMs, [&] {
    vtkSmartPointer<vtkPolyData> cloud;
    cloud.TakeReference(createPolyDataWithKeypoints(run.scene.keypoints, run.scene.numKeypoints));
    KdTree cloudTree(cloud);
    PointGrid meshGrid(run.scene.mesh, radii.repeatabilityTh * radii.meanResolution);
  });
  RepeatabilityResults results(run.models.size());
  Timed(times.evaluationMs, [&] { evaluateRepeatability(run.models, run.scene, radii, results); });
  times.evaluationMs -= times.locatorMs;
  Timed(times.tableMs, [&] { writeResultsTable(*run.tester, vm, run.models, run.scene, results); });
}

}  // namespace

StageTimes TimeStages(const std::string& directory, const std::vector<std::string>& args) {
  StageTimes times;
  QuietStdout quiet;
  char previous[4096];
  if (getcwd(previous, sizeof previous) == nullptr || chdir(directory.c_str()) != 0) return times;
  // The stages one after the other on one thread, so that each time is that stage's alone; the
  // variable goes again so that the whole runs timed later use every core.
  setenv("ARDENTIS_THREADS", "1", 1);
  RunStages(args, times);
  unsetenv("ARDENTIS_THREADS");
  if (chdir(previous) != 0) std::perror(previous);
  return times;
}

}  // namespace ardentis_bench
