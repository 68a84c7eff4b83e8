#pragma once
// Reading a tool's command line with Boost.ProgramOptions, the same way in every tool: --help
// prints the usage and the options on standard output, --version the tool's name and version
// (cli/version.h); a command line the library refuses is named in one line on standard error with
// a hint to --help.

#include <boost/program_options.hpp>
#include <string>

namespace Ostrel {
namespace Cli {

enum class ParseOutcome {
  run,           // go on with `vm`
  helpShown,     // exit with kDone
  versionShown,  // exit with kDone
  refused,       // exit with kBadUsage (the reason already printed)
};

// Every tool lists ("help,h", ...) and ("version", kVersionOption) among its visible options.
constexpr const char* kVersionOption = "print the version and stop";

struct CommandLine {
  std::string tool;   // as in messages: "ardentis-detect", "ardentis-prepare noise"
  std::string usage;  // printed before the options by --help (ends with a line end)
  boost::program_options::options_description visible;  // listed by --help ("help", "version")
  boost::program_options::options_description hidden;   // accepted, not listed (positionals)
  boost::program_options::positional_options_description positional;
};

// Parses argv[1..argc-1] into `vm` (stored and notified).
ParseOutcome parseCommandLine(const CommandLine& commandLine, int argc, char** argv,
                              boost::program_options::variables_map& vm);

// The exit status for an outcome other than `run`.
int exitStatusOf(ParseOutcome outcome);

}  // namespace Cli
}  // namespace Ostrel
