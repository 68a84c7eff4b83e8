#include "prepare/atomic_output.h"

#include <sys/stat.h>
#include <unistd.h>
#include <vtkPLYWriter.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "core/io/create_parent_directory.h"

namespace Ostrel {
namespace Prepare {
namespace {

// Runs `write` on a fresh temporary file next to `path`, named `path`.XXXXXX.tmp`extension`,
// then renames it into place. (vtkPLYWriter adds ".ply" to a name that lacks it.)
std::string ReplaceAtomically(const std::string& path, const std::string& extension,
                              const std::function<bool(const std::string&)>& write) {
  Core::Impl::CreateParentDirectory(path.c_str());
  const std::string pattern = path + ".XXXXXX.tmp" + extension;
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemps(name.data(), static_cast<int>(4 + extension.size()));
  if (fd < 0) return "cannot create a file next to " + path + ": " + std::strerror(errno);
  // mkstemp makes the file private; outputs get the permissions any new file would.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close(fd);
  const std::string temporary(name.data());
  if (!write(temporary)) {
    std::remove(temporary.c_str());
    return "cannot write " + path;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string problem = "cannot replace " + path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return problem;
  }
  return "";
}

}  // namespace

std::string WritePlyAtomically(vtkPolyData* mesh, const std::string& path) {
  return ReplaceAtomically(path, ".ply", [mesh](const std::string& temporary) {
    auto writer = vtkSmartPointer<vtkPLYWriter>::New();
    writer->SetInputData(mesh);
    writer->SetFileName(temporary.c_str());
    writer->SetFileTypeToBinary();
    writer->SetDataByteOrderToLittleEndian();
    writer->SetArrayName("RGB");  // colours only from the loaders' colour array
    return writer->Write() == 1 && writer->GetErrorCode() == 0;
  });
}

std::string WriteTextAtomically(const std::string& content, const std::string& path) {
  return ReplaceAtomically(path, "", [&content](const std::string& temporary) {
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    return std::fclose(file) == 0 && written;
  });
}

}  // namespace Prepare
}  // namespace Ostrel
