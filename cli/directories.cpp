#include "cli/directories.h"

#include <filesystem>

namespace Ostrel {
namespace Cli {

std::string makeDirectories(const std::string& directory) {
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (std::filesystem::is_directory(directory)) return "";
  if (!error) error = std::make_error_code(std::errc::not_a_directory);
  return "cannot create the directory " + directory + ": " + error.message();
}

std::string makeParentDirectories(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  return parent.empty() ? "" : makeDirectories(parent.string());
}

}  // namespace Cli
}  // namespace Ostrel
