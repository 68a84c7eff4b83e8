#include "testers/mesh_name.h"

#include <locale>
#include <sstream>

namespace Ostrel {
namespace Testers {
namespace Impl {

std::string MeshNameFromPath(const std::string& meshPath) {
  const std::string::size_type separator = meshPath.find_last_of("/\\");
  std::string name = separator == std::string::npos ? meshPath : meshPath.substr(separator + 1);
  const std::string::size_type dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

std::string KeypointFilePath(const std::string& savingPath, const std::string& detectorID,
                             int radius, const std::string& meshName) {
  std::string path = savingPath + "/" + detectorID;
  if (radius > 0) path += "_R-" + std::to_string(radius);
  return path + "_" + meshName + ".feat";
}

std::string NoiseLevelName(double sigma) {
  std::ostringstream name;
  name.imbue(std::locale::classic());
  name << sigma;
  return name.str();
}

std::string ResultsTablePath(const std::string& outputPath, const std::string& detectorID) {
  return outputPath + "/" + detectorID + ".csv";
}

}  // namespace Impl
}  // namespace Testers
}  // namespace Ostrel
