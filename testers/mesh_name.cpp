#include "testers/mesh_name.h"

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

}  // namespace Impl
}  // namespace Testers
}  // namespace Ostrel
