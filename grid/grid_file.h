#pragma once
// The grid file: which evaluation runs to make. An INI file (the test configuration's syntax)
// with one [grid] section and one section per detector entry:
//
//   [grid]
//   configFile = test.ini      test configurations, as `ardentis -C` takes them: one or more,
//                              shell-style patterns allowed (scene-*.ini), relative to workDir
//   workDir = .                directory holding data/, relative to the grid file (default .)
//   keypoints = feats          keypoint directory (-S), relative to workDir (default feats)
//   results = results          results directory of the grid, relative to workDir
//   report = report            ardentis-report output, relative to workDir; "none": no report
//   noise = 0 0.1 0.3 0.5      scene noise levels (required)
//   thresholds = 1 2           repeatability thresholds in mesh resolutions (default 1)
//   keep = 2 5 all             keypoint budgets per 1,000 vertices; all: every keypoint (default)
//   threads = 1                detector threads per task (default 1)
//   slurmOptions = --partition=short --time=1:00:00   passed to sbatch as they are (optional)
//   tasksPerElement = 1        Slurm: manifest lines run one after the other by one array element
//
//   [ISS]                      the section name is the detector ID
//   detector = iss             an ardentis-detect detector, or "precomputed" (evaluate only)
//   radius = 4 6               values of -r to try (optional)
//   keep = 5                   the entry's own budgets (default: the grid's)
//   gamma21 = 0.975 0.9        any other key: a detector option with the values to try
//
// Lists are separated by blanks. An entry whose options take several values is expanded into
// one detector ID per combination ("ISS_gamma21-0.9"); a budget adds "_keep-<k>" to it. Detector
// entries are checked against ardentis-detect's own table. Fails with GridFileError, whose
// message names the file and the problem.

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "testset/test_configuration.h"

namespace Ostrel {
namespace Grid {

class GridFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct DetectorOption {
  std::string name;                 // option name without its dashes
  std::vector<std::string> values;  // values to try, in file order
};

struct DetectorEntry {
  std::string name;      // section name
  std::string detector;  // "precomputed" or the ardentis-detect detector name
  std::vector<int> radii;
  std::vector<std::string> budgets;     // "all" or keypoints per 1,000 vertices (%g)
  std::vector<DetectorOption> options;  // in file order
  bool precomputed() const { return detector == "precomputed"; }
};

struct GridSettings {
  std::string workDir;                                     // absolute
  std::vector<TestSet::ConfigurationFile> configurations;  // paths relative to workDir, sorted
  std::string keypoints;
  std::string results;
  std::string report;                   // empty: no report
  std::vector<std::string> noise;       // written as the evaluator names scene files (0.1, 0)
  std::vector<std::string> thresholds;  // written as the evaluator prints them
  std::vector<std::string> budgets;     // keep: "all" or keypoints per 1,000 vertices (%g)
  int threads = 1;
  std::vector<std::string> slurmOptions;
  int tasksPerElement = 1;
  std::vector<DetectorEntry> detectors;  // in file order
};

// Reads the grid file at `path`. `workDir`, when not empty, replaces the file's workDir (and is
// taken relative to the working directory).
GridSettings readGridFile(const std::string& path, const std::string& workDir = "");

// `value` as the evaluator's default stream formatting writes a double (0.10 -> 0.1, 1e-1 ->
// 0.1); throws std::invalid_argument when it is not a finite number.
std::string canonicalNumber(const std::string& value);

}  // namespace Grid
}  // namespace Ostrel
