// Whole-run benchmark: writes large workloads once, runs the real ardentis binary on them
// several times, and prints the median wall time, peak memory, a per-stage breakdown measured
// in-process, the parse-only floor and the ratio run / floor. With a peer script (the same
// evaluation written with Open3D and SciPy, bench/peer_evaluation.py) it also times the peer on
// each workload and checks that both print the same counts; a raw-scan workload is compared with
// its clean twin.
//
// Usage: bench_run <ardentis binary> <cache directory> [runs [peer script]]

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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
  double rssTarget;    // peak RSS over the meshes' size in memory
  int cleanTwin = -1;  // index of the workload with the same surfaces written clean
};

// 5 models of ~221k vertices (~199k each in the scene once cut): a ~1M-vertex scene; a tenth
// of that; and the first one as a range scanner writes it (seam copies, degenerate triangles,
// unused vertices), which must give the same counts.
const Workload kWorkloads[] = {
    {"1M", {5, 480, 460, 3000}, 1000.0, 1.5},
    {"100k", {5, 152, 146, 3000}, 150.0, 3.0},
    {"1M-raw-scan", {5, 480, 460, 3000, true}, 1000.0, 1.5, 0},
};

// The peer runs under the system's Python, where the Debian packages of Open3D and SciPy are.
constexpr const char* kPython = "/usr/bin/python3";

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::vector<std::string> RunArguments(const std::string& outputDir) {
  return {"-C",           "test.ini",    "-S", "feats", "-O", outputDir,
          "--detectorID", kDetectorName, "-t", "2",     "-n", kSceneNoise};
}

// Medians of whole runs: wall and processor (user + system) time, peak RSS.
struct RunMedians {
  double wallMs = 0;
  double cpuMs = 0;
  double rssMb = 0;
};

struct WholeRuns {
  RunMedians ardentis;
  RunMedians peer;                      // zero without a peer
  double twinRatio = 0;                 // run time / that of the clean twin, interleaved runs
  std::vector<std::string> counts;      // what ardentis printed of the counts
  std::vector<std::string> peerCounts;  // the same lines from the peer
};

// The lines of a run's output that carry the counts (and the mean resolution they rest on):
// the lines the peer prints too.
std::vector<std::string> CountLines(const std::string& outputFile) {
  std::vector<std::string> lines;
  std::ifstream in(outputFile);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("   Mean models' resolution:", 0) == 0 || line.rfind("Model ", 0) == 0 ||
        line.find("present in the scene:") != std::string::npos ||
        line.find("closer than epsilon") != std::string::npos) {
      lines.push_back(line);
    }
  }
  return lines;
}

// Median times and peak RSS of `runs` runs of `argv`, after one untimed run whose output is
// kept in `outputFile`; the results table is removed before each run. False (after a message)
// when a run fails.
bool TimeRuns(const char* name, const std::vector<std::string>& argv, const std::string& dir,
              int runs, const std::string& outputFile, const std::string& table,
              RunMedians& medians) {
  std::vector<double> wall, cpu, rss;
  for (int r = -1; r < runs; ++r) {
    std::remove(table.c_str());
    const ChildRun run = RunChild(argv, dir, r < 0 ? outputFile : "/dev/null");
    if (run.status != 0) {
      std::fprintf(stderr, "%s ended with status %d on %s\n", name, run.status, dir.c_str());
      return false;
    }
    if (r < 0) continue;  // the first run warms the page cache
    wall.push_back(run.wallMs);
    cpu.push_back(run.cpuMs);
    rss.push_back(double(run.peakRssKb) / 1024.0);
  }
  medians = {Median(wall), Median(cpu), Median(rss)};
  return true;
}

// Runs the binary before the bench process has grown: a forked child starts with its parent's
// resident pages, and they would count in the child's peak.
bool RunWhole(const std::string& ardentis, const std::string& peer, const std::string& dir,
              int runs, WholeRuns& whole) {
  const std::string out = dir + "/results";
  const std::string table = out + "/" + kDetectorName + ".csv";
  std::vector<std::string> argv = {ardentis};
  for (const std::string& a : RunArguments(out)) argv.push_back(a);
  if (!TimeRuns("ardentis", argv, dir, runs, dir + "/ardentis.out", table, whole.ardentis)) {
    return false;
  }
  whole.counts = CountLines(dir + "/ardentis.out");
  if (peer.empty()) return true;
  std::vector<std::string> peerArgv = {kPython, peer};
  for (const std::string& a : RunArguments(out)) peerArgv.push_back(a);
  if (!TimeRuns("the peer script", peerArgv, dir, runs, dir + "/peer.out", table, whole.peer)) {
    return false;
  }
  whole.peerCounts = CountLines(dir + "/peer.out");
  return true;
}

// Median run time on `dir` over that on `twinDir`, the runs of both taken in turn so that a
// change of load on a busy machine falls on both alike.
double InterleavedRatio(const std::string& ardentis, const std::string& dir,
                        const std::string& twinDir, int runs) {
  std::vector<double> wall, twinWall;
  for (int r = 0; r < runs; ++r) {
    for (const std::string* d : {&dir, &twinDir}) {
      const std::string out = *d + "/results";
      std::remove((out + "/" + kDetectorName + ".csv").c_str());
      std::vector<std::string> argv = {ardentis};
      for (const std::string& a : RunArguments(out)) argv.push_back(a);
      (d == &dir ? wall : twinWall).push_back(RunChild(argv, *d).wallMs);
    }
  }
  return Median(wall) / Median(twinWall);
}

// Prints whether two lists of count lines agree, or the first pair that differs.
bool ReportSameCounts(const char* label, const std::vector<std::string>& ours,
                      const std::vector<std::string>& theirs) {
  if (!ours.empty() && ours == theirs) {
    std::printf("%-15s identical (%zu lines)\n", label, ours.size());
    return true;
  }
  std::printf("%-15s DIFFER (%zu lines against %zu)\n", label, ours.size(), theirs.size());
  for (std::size_t k = 0; k < std::max(ours.size(), theirs.size()); ++k) {
    const std::string a = k < ours.size() ? ours[k] : "(none)";
    const std::string b = k < theirs.size() ? theirs[k] : "(none)";
    if (a != b) {
      std::printf("  ardentis: %s\n  other:    %s\n", a.c_str(), b.c_str());
      break;
    }
  }
  return false;
}

// Returns false when the counts of ardentis, the peer or the clean twin disagree.
bool Report(const Workload& workload, const std::string& dir, int runs, const WholeRuns& whole,
            const WholeRuns* twin) {
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

  const RunMedians& ours = whole.ardentis;
  std::printf("== workload %s (%s), median of %d runs\n", workload.name, dir.c_str(), runs);
  std::printf("whole run       %8.1f ms   (target <= %.0f ms, <= 3x floor; processor %.1f ms)\n",
              ours.wallMs, workload.targetMs, ours.cpuMs);
  std::printf("peak RSS        %8.1f MB   (meshes %.1f MB in memory: %.2fx, target <= %.1fx)\n",
              ours.rssMb, meshMb, ours.rssMb / meshMb, workload.rssTarget);
  std::printf("parse floor     %8.1f ms\n", floorMs);
  std::printf("run / floor     %8.2f     (processor time / floor %.2f)\n", ours.wallMs / floorMs,
              ours.cpuMs / floorMs);
  bool same = true;
  if (whole.peer.wallMs > 0) {
    std::printf(
        "peer run        %8.1f ms   (Open3D + SciPy script, processor %.1f ms, peak RSS %.1f MB)\n",
        whole.peer.wallMs, whole.peer.cpuMs, whole.peer.rssMb);
    std::printf("peer / ardentis %8.2f     (target >= 3; processor time %.2f)\n",
                whole.peer.wallMs / ours.wallMs, whole.peer.cpuMs / ours.cpuMs);
    same = ReportSameCounts("peer counts", whole.counts, whole.peerCounts);
  }
  if (twin != nullptr) {
    std::printf(
        "vs clean twin   %8.2f     (run time / that of workload %s, runs in turn, "
        "target <= 1.20)\n",
        whole.twinRatio, kWorkloads[workload.cleanTwin].name);
    same = ReportSameCounts("twin counts", whole.counts, twin->counts) && same;
  }
  std::printf("stages (in-process):\n");
  std::printf("  load          %8.1f ms\n", stage(&StageTimes::loadMs));
  std::printf("  models        %8.1f ms\n", stage(&StageTimes::modelsMs));
  std::printf("  scene         %8.1f ms\n", stage(&StageTimes::sceneMs));
  std::printf("  keypoints     %8.1f ms\n", stage(&StageTimes::keypointsMs));
  std::printf("  locator build %8.1f ms\n", stage(&StageTimes::locatorMs));
  std::printf("  evaluation    %8.1f ms\n", stage(&StageTimes::evaluationMs));
  std::printf("  table         %8.1f ms\n\n", stage(&StageTimes::tableMs));
  std::fflush(stdout);
  return same;
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
    std::fprintf(stderr, "usage: %s <ardentis binary> <cache directory> [runs [peer script]]\n",
                 argv[0]);
    return 2;
  }
  const std::string ardentis = argv[1], cache = argv[2];
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  const std::string peer = argc > 4 ? argv[4] : "";
  mkdir(cache.c_str(), 0755);
  if (!EnsureWorkloads(cache)) return 1;
  std::vector<WholeRuns> whole(std::size(kWorkloads));
  for (std::size_t w = 0; w < whole.size(); ++w) {
    if (!RunWhole(ardentis, peer, cache + "/" + kWorkloads[w].name, runs, whole[w])) return 1;
  }
  for (std::size_t w = 0; w < whole.size(); ++w) {
    const int twin = kWorkloads[w].cleanTwin;
    if (twin >= 0) {
      whole[w].twinRatio = InterleavedRatio(ardentis, cache + "/" + kWorkloads[w].name,
                                            cache + "/" + kWorkloads[twin].name, runs);
    }
  }
  bool same = true;
  for (std::size_t w = 0; w < whole.size(); ++w) {
    const int twin = kWorkloads[w].cleanTwin;
    same = Report(kWorkloads[w], cache + "/" + kWorkloads[w].name, runs, whole[w],
                  twin >= 0 ? &whole[twin] : nullptr) &&
           same;
  }
  return same ? 0 : 3;
}
