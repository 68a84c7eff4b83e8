#include "support/run_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include "support/temp_dir.h"

namespace ardentis_test {

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workingDir) {
  // Output goes to files rather than pipes so that large outputs can never block the child.
  TempDir capture;
  const std::string outPath = capture.file("stdout"), errPath = capture.file("stderr");
  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in >= 0 && out >= 0 && err >= 0 && chdir(workingDir.c_str()) == 0 && dup2(in, 0) >= 0 &&
        dup2(out, 1) >= 0 && dup2(err, 2) >= 0)
      execv(program.c_str(), argv.data());
    _exit(127);  // nothing to run, or the child could not be set up
  }
  int raw = 0;
  while (waitpid(pid, &raw, 0) < 0) continue;
  const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  return {readFile(outPath), readFile(errPath), status};
}

ProcessResult capture(const std::function<void()>& action) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  action();
  std::fflush(nullptr);  // std::cout and std::cerr, synced with stdio, write through C streams
  return {testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
}

}  // namespace ardentis_test
