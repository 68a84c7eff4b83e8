#include "detect/detector_table.h"

#include <cmath>
#include <cstdlib>

#include "cli/numbers.h"

namespace Ostrel {
namespace Detect {

namespace {

OptionSpec positive(const char* name, const char* value, const char* help) {
  return {name, OptionKind::real, value, 0.0, false, {}, help};
}

OptionSpec atLeastZero(const char* name, const char* value, const char* help) {
  return {name, OptionKind::real, value, 0.0, true, {}, help};
}

OptionSpec count(const char* name, const char* value, const char* help) {
  return {name, OptionKind::whole, value, 1.0, true, {}, help};
}

std::vector<DetectorSpec> makeSpecs() {
  return {
      {"iss",
       "ISS3D",
       "Intrinsic Shape Signatures (PCL's ISSKeypoint3D): salient radius r",
       {positive("nonMaxRadius", "4", "non-maximum suppression radius, in mr"),
        positive("gamma21", "0.975", "largest ratio of the second to the first eigenvalue"),
        positive("gamma32", "0.975", "largest ratio of the third to the second eigenvalue"),
        count("minNeighbors", "5", "fewest neighbours a keypoint needs")}},
      {"harris3d",
       "HARRIS3D",
       "Harris 3D (PCL's HarrisKeypoint3D) on normals at radius r",
       {{"method",
         OptionKind::word,
         "harris",
         0.0,
         false,
         {"harris", "noble", "lowe", "tomasi", "curvature"},
         "response: harris, noble, lowe, tomasi or curvature"},
        atLeastZero("threshold", "1e-06",
                    "smallest response kept (flat areas give 0 and its float noise)")}},
      {"sift3d",
       "SIFT3D",
       "SIFT 3D (PCL's SIFTKeypoint) on the curvature of normals",
       {positive("normalRadius", "4", "radius of the normals giving the curvature, in mr"),
        positive("minScale", "2", "smallest scale, in mr"),
        count("octaves", "3", "number of octaves"),
        count("scalesPerOctave", "4", "scales per octave"),
        atLeastZero("minContrast", "0.0001", "smallest curvature contrast (no unit)")}},
      {"uniform",
       "UNIFORM",
       "uniform sampling (PCL's UniformSampling), leaf r, random scores: a baseline",
       {{"seed", OptionKind::whole, "1", 0.0, true, {}, "seed of the random scores"}}},
  };
}

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
  return text;
}

}  // namespace

const OptionSpec* DetectorSpec::option(const std::string& name) const {
  for (const OptionSpec& spec : options) {
    if (spec.name == name) return &spec;
  }
  return nullptr;
}

const std::vector<DetectorSpec>& detectorSpecs() {
  static const std::vector<DetectorSpec> specs = makeSpecs();
  return specs;
}

const DetectorSpec* findDetector(const std::string& name) {
  for (const DetectorSpec& spec : detectorSpecs()) {
    if (spec.name == name) return &spec;
  }
  return nullptr;
}

std::string detectorNames() {
  std::vector<std::string> names;
  for (const DetectorSpec& spec : detectorSpecs()) names.push_back(spec.name);
  return joined(names);
}

std::string checkOptionValue(const OptionSpec& option, const std::string& value) {
  if (option.kind == OptionKind::word) {
    for (const std::string& word : option.words) {
      if (word == value) return "";
    }
    std::string choices = joined(option.words);
    const std::string::size_type last = choices.rfind(", ");
    if (last != std::string::npos) choices.replace(last, 2, " or ");
    return "takes " + choices + ", not '" + value + "'";
  }
  double number = 0.0;
  if (!Cli::parseFiniteNumber(value, number)) return "'" + value + "' is not a number";
  if (option.kind == OptionKind::whole && (number != std::floor(number) || number > 1e9))
    return "'" + value + "' is not a whole number";
  const bool allowed = option.lowestIncluded ? number >= option.lowest : number > option.lowest;
  if (allowed) return "";
  const char* rule = option.lowest == 0.0   ? (option.lowestIncluded ? "0 or more" : "positive")
                     : option.lowest == 1.0 ? "positive"
                                            : "larger";
  return "must be " + std::string(rule) + ", not " + value;
}

std::string checkOptionOwner(const DetectorSpec& detector, const std::string& option) {
  if (detector.option(option) != nullptr) return "";
  for (const DetectorSpec& other : detectorSpecs()) {
    if (other.option(option) != nullptr)
      return "an option of " + other.name + ", not of " + detector.name;
  }
  std::vector<std::string> names;
  for (const OptionSpec& spec : detector.options) names.push_back(spec.name);
  return "not an option of " + detector.name +
         (names.empty() ? " (it has none)" : " (its options: " + joined(names) + ")");
}

double DetectorSetting::real(const std::string& name) const {
  return std::strtod(values.at(name).c_str(), nullptr);
}

int DetectorSetting::whole(const std::string& name) const {
  return static_cast<int>(real(name));
}

const std::string& DetectorSetting::word(const std::string& name) const {
  return values.at(name);
}

DetectorSetting defaultSetting(const DetectorSpec& spec) {
  DetectorSetting setting;
  setting.spec = &spec;
  for (const OptionSpec& option : spec.options) setting.values[option.name] = option.defaultValue;
  return setting;
}

}  // namespace Detect
}  // namespace Ostrel
