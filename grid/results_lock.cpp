#include "grid/results_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace Ostrel {
namespace Grid {

namespace {

std::string holderOf(int fd) {
  char text[32] = {};
  const ssize_t count = ::pread(fd, text, sizeof text - 1, 0);
  std::string pid = count > 0 ? std::string(text, static_cast<std::size_t>(count)) : "";
  pid.erase(pid.find_last_not_of(" \n") + 1);
  return pid.empty() ? "" : " (process " + pid + ")";
}

}  // namespace

ResultsLock::ResultsLock(const std::string& results) {
  const std::string path = results + "/grid.lock";
  // Close-on-exec: the tasks and engines started later must not keep the lock after the grid.
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    problem_ = "cannot lock " + path + ": " + std::strerror(errno);
    return;
  }
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    problem_ = results + " is in use by another grid" + holderOf(fd_) +
               "; run one grid at a time on a results directory";
    ::close(fd_);
    fd_ = -1;
    return;
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, pid.data(), pid.size(), 0) < 0) {
    // The lock holds without the ID; only a refused grid's message is the poorer.
  }
}

ResultsLock::~ResultsLock() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the flock
}

}  // namespace Grid
}  // namespace Ostrel
