#pragma once
// The detectors of ardentis-detect as the command line and the grid see them: each detector's
// name, the ID its files carry by default, and its options with their kind, default, allowed
// values and help. The help, the option checks, the refusal of another detector's option and
// the grid's checks of its entries all come from this table; detect/detectors.h pairs each
// entry with the function that runs it. Needs no PCL.

#include <map>
#include <string>
#include <vector>

namespace Ostrel {
namespace Detect {

enum class OptionKind { real, whole, word };

struct OptionSpec {
  std::string name;  // without its dashes
  OptionKind kind;
  std::string defaultValue;
  double lowest = 0.0;             // numbers: the smallest value allowed ...
  bool lowestIncluded = false;     // ... itself allowed (>=) or not (>)
  std::vector<std::string> words;  // word options: the values allowed
  std::string help;                // lengths in mesh resolutions (mr)
};

struct DetectorSpec {
  std::string name;       // as given to --detector
  std::string defaultID;  // the name its files carry unless --detectorID is given
  std::string summary;    // one line for the help
  std::vector<OptionSpec> options;

  // The option of that name, or null.
  const OptionSpec* option(const std::string& name) const;
};

// Every detector, in the order the help lists them.
const std::vector<DetectorSpec>& detectorSpecs();

// The detector of that name, or null.
const DetectorSpec* findDetector(const std::string& name);

// "iss, harris3d, sift3d, uniform".
std::string detectorNames();

// "" when `value` is a value of `option`; otherwise the problem, quoting the value
// ("must be positive, not -1", "'x' is not a number", "takes harris, ... or curvature, not 'x'").
std::string checkOptionValue(const OptionSpec& option, const std::string& value);

// "" when `option` is an option of `detector`; otherwise "an option of harris3d, not of iss"
// or "not an option of iss (its options: ...)".
std::string checkOptionOwner(const DetectorSpec& detector, const std::string& option);

// A detector with a value for every one of its options: those given, checked, and the defaults.
struct DetectorSetting {
  const DetectorSpec* spec = nullptr;
  std::map<std::string, std::string> values;

  // The value of an option of `spec` (which must have it), as a number or as given.
  double real(const std::string& name) const;
  int whole(const std::string& name) const;
  const std::string& word(const std::string& name) const;
};

// `spec` with every option at its default.
DetectorSetting defaultSetting(const DetectorSpec& spec);

}  // namespace Detect
}  // namespace Ostrel
