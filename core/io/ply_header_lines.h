#pragma once
// Reading PLY header lines, shared by the structural check and the direct reader.

#include <cstdio>
#include <string>
#include <vector>

namespace Ostrel {
namespace Core {
namespace Impl {

// Reads one header line without its "\n" (a "\r" before it is kept); false at the end of the
// file or when the line is longer than any header line can be (4000 characters).
bool ReadPlyHeaderLine(std::FILE* file, std::string& line);

// The line's words, split at white space.
std::vector<std::string> SplitWords(const std::string& line);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
