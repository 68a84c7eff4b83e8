#pragma once
// A scratch directory for one test, removed with everything in it when the object dies.

#include <string>

namespace ardentis_test {

class TempDir {
 public:
  // In the system's temporary directory ($TMPDIR, else /tmp), or in `parent`.
  TempDir();
  explicit TempDir(const std::string& parent);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // Absolute path of `relative` inside the directory.
  std::string file(const std::string& relative) const { return path_ + "/" + relative; }
  // Writes `content` to `relative` (creating parent directories); returns the absolute path.
  std::string write(const std::string& relative, const std::string& content) const;

 private:
  std::string path_;
};

// Whole content of a file, or "" when it cannot be read.
std::string readFile(const std::string& path);

}  // namespace ardentis_test
