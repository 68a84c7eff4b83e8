// Whole-run benchmark: writes a large workload once, runs the real ardentis binary on it
// several times, and prints the median wall time, peak memory, a per-stage breakdown measured
// in-process, the parse-only floor and the ratio run / floor.
//
// Usage: bench_run <ardentis binary> <cache directory> [runs]

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "bench/child_runs.h"
#include "bench/parse_floor.h"
#include "bench/stage_timings.h"
#include "bench/workload.h"

namespace {

using namespace ardentis_bench;

struct Workload {
  const char* name;
  WorkloadShape shape;
  double targetMs;
};

// 5 models of ~221k vertices (~199k each in the scene once cut): a ~1M-vertex scene; and a
// tenth of that.
const Workload kWorkloads[] = {
    {"1M", {5, 480, 460, 3000}, 1000.0},
    {"100k", {5, 152, 146, 3000}, 150.0},
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::vector<std::string> RunArguments(const std::string& outputDir) {
  return {"-C",           "test.ini",    "-S", "feats", "-O", outputDir,
          "--detectorID", kDetectorName, "-t", "2",     "-n", kSceneNoise};
}

struct WholeRuns {
  double wallMs = 0;
  double rssMb = 0;
};

// Runs the binary before the bench process has grown: a forked child starts with its parent's
// resident pages, and they would count in the child's peak.
bool RunWhole(const std::string& ardentis, const std::string& dir, int runs, WholeRuns& whole) {
  const std::string out = dir + "/results";
  const std::string table = out + "/" + kDetectorName + ".csv";
  std::vector<std::string> argv = {ardentis};
  for (const std::string& a : RunArguments(out)) argv.push_back(a);
  RunChild(argv, dir);  // warm the page cache
  std::vector<double> wall, rss;
  for (int r = 0; r < runs; ++r) {
    std::remove(table.c_str());
    const ChildRun run = RunChild(argv, dir);
    if (run.status != 0) {
      std::fprintf(stderr, "ardentis ended with status %d on %s\n", run.status, dir.c_str());
      return false;
    }
    wall.push_back(run.wallMs);
    rss.push_back(double(run.peakRssKb) / 1024.0);
  }
  whole.wallMs = Median(wall);
  whole.rssMb = Median(rss);
  return true;
}

void Report(const Workload& workload, const std::string& dir, int runs, const WholeRuns& whole) {
  std::vector<StageTimes> stages;
  std::vector<double> floors;
  for (int r = 0; r < runs; ++r) {
    stages.push_back(TimeStages(dir, RunArguments(dir + "/results")));
    floors.push_back(ParseFloorMs(dir, workload.shape.models));
  }
  auto stage = [&](double StageTimes::*field) {
    std::vector<double> values;
    for (const StageTimes& s : stages) values.push_back(s.*field);
    return Median(values);
  };
  const double floorMs = Median(floors);
  const double meshMb = stages[0].meshBytes / (1024.0 * 1024.0);

  std::printf("== workload %s (%s), median of %d runs\n", workload.name, dir.c_str(), runs);
  std::printf("whole run       %8.1f ms   (target <= %.0f ms, <= 3x floor)\n", whole.wallMs,
              workload.targetMs);
  std::printf("peak RSS        %8.1f MB   (meshes %.1f MB in memory: %.2fx, target <= 3x)\n",
              whole.rssMb, meshMb, whole.rssMb / meshMb);
  std::printf("parse floor     %8.1f ms\n", floorMs);
  std::printf("run / floor     %8.2f\n", whole.wallMs / floorMs);
  std::printf("stages (in-process):\n");
  std::printf("  load          %8.1f ms\n", stage(&StageTimes::loadMs));
  std::printf("  models        %8.1f ms\n", stage(&StageTimes::modelsMs));
  std::printf("  scene         %8.1f ms\n", stage(&StageTimes::sceneMs));
  std::printf("  keypoints     %8.1f ms\n", stage(&StageTimes::keypointsMs));
  std::printf("  locator build %8.1f ms\n", stage(&StageTimes::locatorMs));
  std::printf("  evaluation    %8.1f ms\n", stage(&StageTimes::evaluationMs));
  std::printf("  table         %8.1f ms\n\n", stage(&StageTimes::tableMs));
  std::fflush(stdout);
}

// Writes the missing workloads in a child process, so the bench itself stays small.
bool EnsureWorkloads(const std::string& cache) {
  const pid_t child = fork();
  if (child == 0) {
    for (const Workload& w : kWorkloads) {
      if (!EnsureWorkload(cache + "/" + w.name, w.shape)) _exit(1);
    }
    _exit(0);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <ardentis binary> <cache directory> [runs]\n", argv[0]);
    return 2;
  }
  const std::string ardentis = argv[1], cache = argv[2];
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  mkdir(cache.c_str(), 0755);
  if (!EnsureWorkloads(cache)) return 1;
  std::vector<WholeRuns> whole(std::size(kWorkloads));
  for (std::size_t w = 0; w < whole.size(); ++w) {
    if (!RunWhole(ardentis, cache + "/" + kWorkloads[w].name, runs, whole[w])) return 1;
  }
  for (std::size_t w = 0; w < whole.size(); ++w) {
    Report(kWorkloads[w], cache + "/" + kWorkloads[w].name, runs, whole[w]);
  }
  return 0;
}
