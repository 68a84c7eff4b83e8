#pragma once
// The command line of ardentis-detect and the test configuration file it names.

#include <string>
#include <vector>

#include "detect/detector_settings.h"
#include "testset/test_configuration.h"

namespace Ostrel {
namespace Detect {

struct DetectOptions {
  std::string savingPath;
  std::string detectorID;                // the detector's canonical name unless given
  int fileRadius = -1;                   // -r as given (part of the file names), -1 when absent
  std::vector<std::string> noiseLevels;  // scene noise levels, written as ardentis writes them
  DetectorSettings settings;
  std::string configPath;
  TestSet::TestConfiguration configuration;
};

enum class ParseOutcome { Run, HelpShown, Refused };

// Reads the command line and the test configuration into `options`. Prints the help on
// standard output (HelpShown), or one line saying what is wrong on standard error (Refused):
// an unknown detector (listing the known ones), a value that must be positive and is not, an
// option of another detector, a missing option, configuration file or configuration key.
ParseOutcome ParseDetectOptions(int argc, char** argv, DetectOptions& options);

}  // namespace Detect
}  // namespace Ostrel
