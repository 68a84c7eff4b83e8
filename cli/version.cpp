#include "cli/version.h"

namespace Ostrel {
namespace Cli {

const char* version() {
  return ARDENTIS_VERSION;  // the build's definition: the project's VERSION in CMakeLists.txt
}

std::string versionLine(const std::string& tool) {
  return tool.substr(0, tool.find(' ')) + " " + version();
}

}  // namespace Cli
}  // namespace Ostrel
