#pragma once
// Writes a whole file at once: the content goes to a temporary file in the same directory,
// which then replaces `path` by rename(), so that readers see the old file or the new one and a
// failure leaves no partial file. Returns "" on success, else the reason (naming the path).

#include <string>
#include <vector>

namespace Ostrel {
namespace Grid {

// merge: driver/results_table.cpp replaces tables the same way (replaceTable); the coordinator
// could expose one writer for both.
std::string writeFileAtomically(const std::string& path, const std::string& content);

// The lines of a file (without their line ends); false when it cannot be read.
bool readLines(const std::string& path, std::vector<std::string>& lines);

}  // namespace Grid
}  // namespace Ostrel
