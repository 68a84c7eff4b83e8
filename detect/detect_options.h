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
  std::string configPath;
  TestSet::TestConfiguration configuration;
};

// Reads the command line and the test configuration into `options`: prints the help (helpShown),
// the version (versionShown) or one line saying what is wrong (refused): an unknown detector, an
// option of another detector, a value out of its range, a missing option, an unreadable test
// configuration.
Cli::ParseOutcome parseDetectOptions(int argc, char** argv, DetectOptions& options);

}  // namespace Detect
}  // namespace Ostrel
