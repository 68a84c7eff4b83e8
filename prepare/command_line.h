#pragma once
// Command-line helpers shared by the commands: option parsing with Boost.Program_options in
// the evaluator's style, and number checks with messages that quote the offending text.

#include <boost/program_options.hpp>
#include <cstdint>
#include <string>

namespace Ostrel {
namespace Prepare {

// Parses argv into `vm`; prints the options and returns false on --help, or prints
// "ardentis-prepare <command>: <problem>" and a usage hint on standard error and returns false
// with `usageError` set.
bool ParseCommandLine(int argc, char** argv, const char* command,
                      const boost::program_options::options_description& options,
                      const boost::program_options::positional_options_description& positional,
                      boost::program_options::variables_map& vm, bool& usageError);

// The whole of `text` as a finite double; false when it is anything else.
bool ParseFiniteNumber(const std::string& text, double& value);

// Prints "ardentis-prepare <command>: <problem>" on standard error.
void ReportProblem(const char* command, const std::string& problem);

}  // namespace Prepare
}  // namespace Ostrel
