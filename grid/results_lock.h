#pragma once
// One grid at a time on a results directory: an exclusive flock on <results>/grid.lock, held
// for the life of the object. The kernel releases it when its holder ends, however it ends, so a
// lock left by a process that died never blocks. The file holds the holder's process ID, for the
// message of a grid that is refused.

#include <string>

namespace Ostrel {
namespace Grid {

class ResultsLock {
 public:
  // Tries once, without waiting, to lock the directory `results` (which must exist).
  explicit ResultsLock(const std::string& results);
  ~ResultsLock();
  ResultsLock(const ResultsLock&) = delete;
  ResultsLock& operator=(const ResultsLock&) = delete;

  // "" when the lock is held; otherwise why not, naming the directory (and the holder's process
  // ID when another grid holds it).
  const std::string& problem() const { return problem_; }

 private:
  int fd_ = -1;
  std::string problem_;
};

}  // namespace Grid
}  // namespace Ostrel
