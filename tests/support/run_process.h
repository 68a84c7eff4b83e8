#pragma once
// Runs a program, or a function, and captures what it wrote and how it ended.

#include <functional>
#include <string>
#include <vector>

namespace ardentis_test {

struct ProcessResult {
  std::string out;  // standard output
  std::string err;  // standard error
  int status = -1;  // exit status as the shell sees it (0-255), or 128 + signal number
};

// Runs `program` with `args` in `workingDir`, standard input closed. With `timeoutSeconds` > 0
// the program runs in its own process group, which is killed when the time is up: the status
// is then 124, as with timeout(1), and the output is what was written until then.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workingDir, int timeoutSeconds = 0);

// As runProcess with a time limit (the child's process group is its pid), calling
// `meanwhile(pid)` on another thread once the child has started: to signal it, or to run a
// second program beside it.
ProcessResult runProcessWhile(const std::string& program, const std::vector<std::string>& args,
                              const std::string& workingDir, int timeoutSeconds,
                              const std::function<void(int pid)>& meanwhile);

// Runs the built ardentis binary.
inline ProcessResult runArdentis(const std::vector<std::string>& args, const std::string& dir) {
  return runProcess(ARDENTIS_BINARY, args, dir);
}

// What `action` writes on standard output and standard error (status stays -1).
ProcessResult capture(const std::function<void()>& action);

}  // namespace ardentis_test
