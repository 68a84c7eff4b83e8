#include "driver/results_table.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <locale>
#include <sstream>

#include "testset/results_columns.h"

namespace {

// Serialises the read-append-rewrite of one table across processes: an exclusive flock on
// "<table>.lock", released when the object dies. The lock file is left in place on purpose:
// removing it would let two runs lock two different files.
class TableLock {
 public:
  explicit TableLock(const std::string& table) {
    const std::string path = table + ".lock";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    // Without a lock file the table is still written; only the protection is lost.
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~TableLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the flock
  }
  TableLock(const TableLock&) = delete;
  TableLock& operator=(const TableLock&) = delete;

 private:
  int fd_ = -1;
};

void reportFailure(const std::string& path, const char* what, int error) {
  std::fflush(stdout);
  std::fprintf(stderr, "Cannot %s results table %s: %s\n", what, path.c_str(),
               std::strerror(error));
}

// Appends the table's lines, each ended by "\n", to `content`. A missing table reads as empty;
// one that exists but cannot be read makes this return false, so that it is never replaced by
// a table without its rows.
bool readTable(const std::string& path, std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const int error = errno;
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 && errno == ENOENT) return true;
    reportFailure(path, "read", error != 0 ? error : EIO);
    return false;
  }
  std::string line;
  while (std::getline(in, line)) content += line + "\n";
  if (in.bad()) {
    reportFailure(path, "read", errno != 0 ? errno : EIO);
    return false;
  }
  return true;
}

// The default formatting of a text stream, independent of the global locale.
template <typename T>
std::string field(const T& value) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text << value;
  return text.str();
}

template <typename T>
T valueAt(const std::vector<T>& values, std::size_t i) {
  return i < values.size() ? values[i] : T();
}

template <typename T>
T option(boost::program_options::variables_map& vm, const char* key, T fallback) {
  return vm.count(key) != 0 ? vm[key].as<T>() : fallback;
}

std::string rows(boost::program_options::variables_map& vm, const std::vector<TestModel>& models,
                 const TestModel& scene, const RepeatabilityResults& results) {
  const std::string fixedBefore =
      ";" + field(scene.noiseSigma) + ";" + field(option<int>(vm, "radius", -1)) + ";";
  const std::string threshold = field(option<double>(vm, "repeatabilityTh", 1.0));
  const std::string sceneFields = field(scene.numKeypoints) + ";" + scene.name + "\n";

  std::string text;
  for (std::size_t i = 0; i < models.size(); ++i) {
    text += models[i].name + fixedBefore + field(valueAt(results.repeatableKeypoints, i)) + ";" +
            field(valueAt(results.totScaleRepeatability, i)) + ";" + threshold + ";" +
            field(models[i].numKeypoints) + ";" + field(valueAt(results.nonOccludedKeypoints, i)) +
            ";" + sceneFields;
  }
  return text;
}

bool writeAll(int fd, const std::string& content) {
  const char* data = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    left -= std::size_t(written);
  }
  return true;
}

// A new, unique file beside `path` (same directory, so rename() stays atomic).
int createTemporary(const std::string& path, std::string& temporary) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// Replaces the table at `path` by `content` all at once: a crash leaves either the old table or
// the new one, never a part of it. The table keeps its permissions.
bool replaceTable(const std::string& path, const std::string& content) {
  std::string temporary;
  const int fd = createTemporary(path, temporary);
  if (fd < 0) {
    reportFailure(path, "write", errno);
    return false;
  }
  struct stat old;
  if (::stat(path.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);

  bool written = writeAll(fd, content) && ::fsync(fd) == 0;
  int error = errno;
  if (::close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
  if (written) error = errno;
  ::unlink(temporary.c_str());
  reportFailure(path, "write", error);
  return false;
}

}  // namespace

void writeResultsTable(IDetectorTester& tester, boost::program_options::variables_map& vm,
                       const std::vector<TestModel>& models, const TestModel& scene,
                       const RepeatabilityResults& results) {
  const std::string readPath = tester.getOutputFilename(vm);
  TableLock lock(readPath);

  std::printf("writing xls file..\n");
  std::string table;
  if (!readTable(readPath, table)) return;

  if (table.empty()) table = Ostrel::TestSet::resultsTableHeader();
  table += rows(vm, models, scene, results);
  replaceTable(tester.getOutputFilename(vm), table);
}
