#include "core/io/ply_header_lines.h"

#include <sstream>

namespace Ostrel {
namespace Core {
namespace Impl {

namespace {
constexpr std::size_t kMaxHeaderLine = 4000;
}  // namespace

bool ReadPlyHeaderLine(std::FILE* file, std::string& line) {
  line.clear();
  int c;
  while ((c = std::fgetc(file)) != EOF && c != '\n') {
    if (line.size() >= kMaxHeaderLine) return false;
    line.push_back(static_cast<char>(c));
  }
  return c == '\n';
}

std::vector<std::string> SplitWords(const std::string& line) {
  std::istringstream stream(line);
  std::vector<std::string> words;
  std::string word;
  while (stream >> word) words.push_back(word);
  return words;
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
