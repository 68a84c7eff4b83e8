#include "core/io/create_parent_directory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace Ostrel {
namespace Core {
namespace Impl {

void CreateParentDirectory(const char* path) {
  if (path == nullptr) return;
  const std::string text(path);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '/') continue;
    const std::string prefix = text.substr(0, i);
    // A failed mkdir shows later, when the file itself cannot be opened.
    if (access(prefix.c_str(), F_OK) != 0) mkdir(prefix.c_str(), 0700);
  }
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
