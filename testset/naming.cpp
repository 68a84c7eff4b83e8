#include "testset/naming.h"

#include <algorithm>
#include <locale>
#include <sstream>

namespace Ostrel {
namespace TestSet {

const char* const kDataDirectory = "./data/";

namespace {

std::string withoutDoubleQuotes(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
  return text;
}

}  // namespace

std::string meshPathWithNoise(const std::string& configuredValue, const std::string& noise) {
  const std::string prefix = kDataDirectory;
  std::string path = withoutDoubleQuotes(prefix + configuredValue);
  // A name without any '.' of its own gets the suffix at its end: the '.' of the data directory
  // is never a place for it.
  std::string::size_type dot = path.rfind('.');
  if (dot == std::string::npos || dot < prefix.size()) dot = path.size();
  path.insert(dot, "_" + noise);
  return path;
}

std::string groundTruthPath(const std::string& configuredValue) {
  return kDataDirectory + withoutDoubleQuotes(configuredValue);
}

std::string meshNameFromPath(const std::string& meshPath) {
  const std::string::size_type separator = meshPath.find_last_of("/\\");
  std::string name = separator == std::string::npos ? meshPath : meshPath.substr(separator + 1);
  const std::string::size_type dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

std::string keypointFilePath(const std::string& savingPath, const std::string& detectorID,
                             int radius, const std::string& meshName) {
  std::string path = savingPath + "/" + detectorID;
  if (radius > 0) path += "_R-" + std::to_string(radius);
  return path + "_" + meshName + ".feat";
}

std::string noiseLevelName(double sigma) {
  std::ostringstream name;
  name.imbue(std::locale::classic());
  name << sigma;
  return name.str();
}

std::string resultsTablePath(const std::string& outputPath, const std::string& detectorID) {
  return outputPath + "/" + detectorID + ".csv";
}

bool isNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-' || c == '+';
}

bool isPlainName(const std::string& name) {
  if (name.empty() || name[0] == '-' || name[0] == '.') return false;
  return std::all_of(name.begin(), name.end(), isNameCharacter);
}

}  // namespace TestSet
}  // namespace Ostrel
