#pragma once
// Runs another program to its end: `argv[0]` is looked up in PATH, it starts in `directory`
// with standard input from /dev/null and our standard error. Its standard output is ours, or
// is stored in `output` when one is given. An interruption of the grid is passed on to it
// (grid/interruption.h). Returns its exit status (0-255), 128 + the signal that ended it, or 127
// when it could not be started.

#include <string>
#include <vector>

namespace Ostrel {
namespace Grid {

int runProgram(const std::vector<std::string>& argv, const std::string& directory,
               std::string* output = nullptr);

}  // namespace Grid
}  // namespace Ostrel
