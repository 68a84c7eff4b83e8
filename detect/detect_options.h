#pragma once
// The command line of ardentis-detect and the test configuration it names.

#include <string>
#include <vector>

#include "cli/command_line.h"
#include "detect/detector_settings.h"
#include "testset/test_configuration.h"

namespace Ostrel {
namespace Detect {

struct DetectOptions {
  std::string savingPath;
  std::string detectorID;                // the detector's default ID unless given
  int fileRadius = -1;                   // -r as given (part of the file names), -1 when absent
  std::vector<std::string> noiseLevels;  // scene noise levels, written as ardentis writes them
  DetectorSettings settings;
  std::vector<TestSet::ConfigurationFile> configurations;  // -C: their models, and their scenes
  // --resolution-from: the configurations whose models' mean resolution is the unit of length;
  // -C's when not given.
  std::vector<TestSet::ConfigurationFile> resolutionFrom;
  bool detectModels = true;          // false with --scenes-only
  bool detectScenes = true;          // false with --models-only
  std::vector<std::string> budgets;  // --keep: keypoints per 1,000 vertices, written as in IDs
};

// Reads the command line and the test configurations into `options`: prints the help
// (helpShown), the version (versionShown) or one line saying what is wrong (refused): an unknown
// detector, an option of another detector, a value out of its range, a missing option, an
// unreadable configuration.
Cli::ParseOutcome parseDetectOptions(int argc, char** argv, DetectOptions& options);

}  // namespace Detect
}  // namespace Ostrel
