#include "prepare/command_line.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "core/io/message_placeholder.h"
#include "core/io/read_support.h"

namespace po = boost::program_options;

namespace Ostrel {
namespace Prepare {
bool ParseCommandLine(int argc, char** argv, const char* command,
                      const po::options_description& options,
                      const po::positional_options_description& positional, po::variables_map& vm,
                      bool& usageError) {
  usageError = true;
  if (argumentsHoldMessagePlaceholder(argc, argv)) {
    ReportProblem(command, "an argument holds a %...% placeholder such as %value%");
    return false;
  }
  usageError = false;
  try {
    po::store(po::command_line_parser(argc, argv).options(options).positional(positional).run(),
              vm);
    if (vm.count("help")) {
      std::cout << "Usage: ardentis-prepare " << command << " [options]\n" << options;
      return false;
    }
    po::notify(vm);
  } catch (const std::exception& error) {
    // The library's text may quote the arguments: keep raw bytes off the console.
    ReportProblem(command, Core::Impl::PrintableText(error.what()));
    std::cerr << "Try 'ardentis-prepare " << command << " --help'.\n";
    usageError = true;
    return false;
  }
  return true;
}

bool ParseFiniteNumber(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size() && std::isfinite(value);
}

void ReportProblem(const char* command, const std::string& problem) {
  std::fflush(stdout);
  std::fprintf(stderr, "ardentis-prepare %s: %s\n", command, problem.c_str());
}

}  // namespace Prepare
}  // namespace Ostrel
