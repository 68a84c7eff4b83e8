#include "support/run_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "support/temp_dir.h"

namespace ardentis_test {

namespace {

// The raw wait status of `pid`; with a time limit, its process group is killed when time is up.
int waitForChild(pid_t pid, int timeoutSeconds, bool& timedOut) {
  int raw = 0;
  if (timeoutSeconds <= 0) {
    while (waitpid(pid, &raw, 0) < 0) continue;
    return raw;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  while (waitpid(pid, &raw, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      timedOut = true;
      kill(-pid, SIGKILL);
      while (waitpid(pid, &raw, 0) < 0) continue;
      return raw;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return raw;
}

}  // namespace

ProcessResult runProcessWhile(const std::string& program, const std::vector<std::string>& args,
                              const std::string& workingDir, int timeoutSeconds,
                              const std::function<void(int pid)>& meanwhile) {
  // Output goes to files rather than pipes so that large outputs can never block the child.
  TempDir capture;
  const std::string outPath = capture.file("stdout"), errPath = capture.file("stderr");
  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (timeoutSeconds > 0) setpgid(0, 0);
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in >= 0 && out >= 0 && err >= 0 && chdir(workingDir.c_str()) == 0 && dup2(in, 0) >= 0 &&
        dup2(out, 1) >= 0 && dup2(err, 2) >= 0)
      execv(program.c_str(), argv.data());
    _exit(127);  // nothing to run, or the child could not be set up
  }
  if (timeoutSeconds > 0) setpgid(pid, pid);  // in both, so that neither can race the other
  std::thread beside;
  if (meanwhile) beside = std::thread(meanwhile, int(pid));
  bool timedOut = false;
  const int raw = waitForChild(pid, timeoutSeconds, timedOut);
  if (beside.joinable()) beside.join();
  const int status = timedOut ? 124 : WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  return {readFile(outPath), readFile(errPath), status};
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workingDir, int timeoutSeconds) {
  return runProcessWhile(program, args, workingDir, timeoutSeconds, nullptr);
}

ProcessResult capture(const std::function<void()>& action) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  action();
  std::fflush(nullptr);  // std::cout and std::cerr, synced with stdio, write through C streams
  return {testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
}

}  // namespace ardentis_test
