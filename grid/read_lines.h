#pragma once
// Reading the grid's own text files (manifests, task tables) line by line.

#include <string>
#include <vector>

namespace Ostrel {
namespace Grid {

// Appends the lines of the file at `path` (without their line ends) to `lines`; false when it
// cannot be read.
bool readLines(const std::string& path, std::vector<std::string>& lines);

}  // namespace Grid
}  // namespace Ostrel
