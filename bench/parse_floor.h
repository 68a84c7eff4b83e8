#pragma once
// The "parse-only floor": the time to read and parse a workload's input files with the
// fastest code path the project has, building nothing else.

#include <string>

namespace ardentis_bench {

// Reads every mesh, keypoint file and ground-truth file of the workload in `directory` once.
double ParseFloorMs(const std::string& directory, int models);

}  // namespace ardentis_bench
