#include "cli/command_line.h"

#include <iostream>

#include "cli/exit_status.h"
#include "cli/messages.h"
#include "cli/version.h"
#include "core/io/message_placeholder.h"
#include "core/io/read_support.h"

namespace po = boost::program_options;

namespace Ostrel {
namespace Cli {

ParseOutcome parseCommandLine(const CommandLine& commandLine, int argc, char** argv,
                              po::variables_map& vm) {
  // The library's message would never finish building on such an argument.
  if (argumentsHoldMessagePlaceholder(argc, argv)) {
    printError(commandLine.tool, "an argument holds a %...% placeholder such as %value%");
    return ParseOutcome::refused;
  }
  po::options_description all;
  all.add(commandLine.visible).add(commandLine.hidden);
  try {
    po::store(
        po::command_line_parser(argc, argv).options(all).positional(commandLine.positional).run(),
        vm);
    if (vm.count("help") != 0) {
      std::cout << commandLine.usage << commandLine.visible << "\n";
      return ParseOutcome::helpShown;
    }
    if (vm.count("version") != 0) {
      std::cout << versionLine(commandLine.tool) << "\n";
      return ParseOutcome::versionShown;
    }
    po::notify(vm);
  } catch (const std::exception& error) {
    // The library's text may quote the arguments: keep raw bytes off the console.
    printError(commandLine.tool,
               Core::Impl::PrintableText(error.what()) + " (see " + commandLine.tool + " --help)");
    return ParseOutcome::refused;
  }
  return ParseOutcome::run;
}

int exitStatusOf(ParseOutcome outcome) {
  return outcome == ParseOutcome::refused ? kBadUsage : kDone;
}

}  // namespace Cli
}  // namespace Ostrel
