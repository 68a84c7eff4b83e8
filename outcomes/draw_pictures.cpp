#include "outcomes/draw_pictures.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

extern char** environ;

namespace Ostrel {
namespace Inspect {

std::string reportLauncher() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  const auto beside = self.parent_path() / "ardentis-report";
  return !error && std::filesystem::exists(beside, error) ? beside.string() : "ardentis-report";
}

std::string drawPictures(const std::string& launcher, const std::vector<std::string>& meshPaths) {
  std::vector<std::string> words = {launcher, "inspect"};
  words.insert(words.end(), meshPaths.begin(), meshPaths.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  std::fflush(stdout);  // our lines before the pictures'
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, launcher.c_str(), nullptr, nullptr, argv.data(), environ);
  if (failed != 0) return "cannot run " + launcher + ": " + std::strerror(failed);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return "lost " + launcher + ": " + std::strerror(errno);
  }
  if (WIFSIGNALED(status))
    return launcher + " inspect ended by signal " + std::to_string(WTERMSIG(status));
  if (WEXITSTATUS(status) != 0)
    return launcher + " inspect ended with status " + std::to_string(WEXITSTATUS(status));
  return "";
}

}  // namespace Inspect
}  // namespace Ostrel
