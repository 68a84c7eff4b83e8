#include "grid/read_lines.h"

#include <fstream>

namespace Ostrel {
namespace Grid {

bool readLines(const std::string& path, std::vector<std::string>& lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return !in.bad();
}

}  // namespace Grid
}  // namespace Ostrel
