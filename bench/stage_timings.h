#pragma once
// Times the stages of one run in-process by calling the driver's own stage functions in the
// run's order (the ardentis binary itself must not print anything new).

#include <string>
#include <vector>

namespace ardentis_bench {

struct StageTimes {
  double loadMs = 0;
  double modelsMs = 0;  // models cleaned and measured
  double sceneMs = 0;   // scene measured and cleaned
  double keypointsMs = 0;
  double locatorMs = 0;
  double evaluationMs = 0;  // the evaluation's own work, its locator build taken out
  double tableMs = 0;
  double meshBytes = 0;  // points + cells of every mesh after loading
  double totalMs() const {
    return loadMs + modelsMs + sceneMs + keypointsMs + locatorMs + evaluationMs + tableMs;
  }
};

// One run of the stages on the workload in `directory` with the ardentis arguments `args`
// (without the program name). Console output of the stages is discarded.
StageTimes TimeStages(const std::string& directory, const std::vector<std::string>& args);

}  // namespace ardentis_bench
