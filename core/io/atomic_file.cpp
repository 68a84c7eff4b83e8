#include "core/io/atomic_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace Ostrel {
namespace Core {
namespace Impl {

namespace {

std::string Failure(const std::string& path, int error) {
  return "cannot write " + path + ": " + std::strerror(error != 0 ? error : EIO);
}

}  // namespace

std::string ReplaceFileAtomically(const std::string& path, const std::string& extension,
                                  const std::function<bool(const std::string&)>& write) {
  const std::string pattern = path + ".XXXXXX.tmp" + extension;
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemps(name.data(), static_cast<int>(4 + extension.size()));
  if (fd < 0) return Failure(path, errno);
  // mkstemp makes the file private; outputs get the permissions any new file would.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close(fd);
  const std::string temporary(name.data());
  errno = 0;
  if (!write(temporary)) {
    const int error = errno;
    std::remove(temporary.c_str());
    return Failure(path, error);
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    std::remove(temporary.c_str());
    return Failure(path, error);
  }
  return "";
}

std::string WriteFileAtomically(const std::string& path, const std::string& content) {
  return ReplaceFileAtomically(path, "", [&content](const std::string& temporary) {
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    return std::fclose(file) == 0 && written;
  });
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
