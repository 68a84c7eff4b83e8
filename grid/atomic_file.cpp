#include "grid/atomic_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace Ostrel {
namespace Grid {

std::string writeFileAtomically(const std::string& path, const std::string& content) {
  const std::string temporary = path + ".tmp." + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << content;
    out.flush();
    if (!out) {
      const int error = errno;
      out.close();
      ::unlink(temporary.c_str());
      return "cannot write " + path + ": " + std::strerror(error);
    }
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return "cannot write " + path + ": " + std::strerror(error);
  }
  return "";
}

bool readLines(const std::string& path, std::vector<std::string>& lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return !in.bad();
}

}  // namespace Grid
}  // namespace Ostrel
