#include "cli/messages.h"

#include <cstdio>

namespace Ostrel {
namespace Cli {

void printError(const std::string& tool, const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", tool.c_str(), message.c_str());
}

void printWarning(const std::string& tool, const std::string& message) {
  printError(tool, "warning: " + message);
}

}  // namespace Cli
}  // namespace Ostrel
