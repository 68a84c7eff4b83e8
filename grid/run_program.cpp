#include "grid/run_program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "grid/interruption.h"

namespace Ostrel {
namespace Grid {

namespace {

[[noreturn]] void startChild(const std::vector<std::string>& argv, const std::string& directory,
                             int outputFd) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const int in = ::open("/dev/null", O_RDONLY);
  if (in < 0 || ::dup2(in, 0) < 0 || (outputFd >= 0 && ::dup2(outputFd, 1) < 0) ||
      ::chdir(directory.c_str()) != 0) {
    _exit(127);
  }
  ::execvp(args[0], args.data());
  _exit(127);
}

}  // namespace

int runProgram(const std::vector<std::string>& argv, const std::string& directory,
               std::string* output) {
  int pipeFds[2] = {-1, -1};
  if (output != nullptr && ::pipe2(pipeFds, O_CLOEXEC) != 0) return 127;
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = ::fork();
  if (pid == 0) startChild(argv, directory, pipeFds[1]);
  if (pid > 0) passInterruptionsTo(pid);
  if (output != nullptr) {
    ::close(pipeFds[1]);
    char buffer[4096];
    ssize_t count = 0;
    while ((count = ::read(pipeFds[0], buffer, sizeof buffer)) != 0) {
      if (count > 0) output->append(buffer, std::size_t(count));
      if (count < 0 && errno != EINTR) break;
    }
    ::close(pipeFds[0]);
  }
  if (pid < 0) return 127;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      passInterruptionsTo(0);
      return 127;
    }
  }
  passInterruptionsTo(0);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

}  // namespace Grid
}  // namespace Ostrel
