#include "core/io/read_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vtkObject.h>

#include <cerrno>
#include <cstdio>
#include <locale>

namespace Ostrel {
namespace Core {
namespace Impl {

bool IsReadableFile(const char* path) {
  struct stat info;
  if (path == nullptr || stat(path, &info) != 0 || S_ISDIR(info.st_mode)) return false;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

bool OpenTextFile(const char* path, std::ifstream& stream) {
  struct stat info;
  if (path == nullptr) {
    errno = EINVAL;
    return false;
  }
  if (stat(path, &info) == 0 && S_ISDIR(info.st_mode)) {
    errno = EISDIR;
    return false;
  }
  errno = 0;
  stream.open(path);
  if (!stream.is_open()) {
    if (errno == 0) errno = ENOENT;
    return false;
  }
  stream.imbue(std::locale::classic());
  return true;
}

FileHandle OpenBinaryFile(const char* path) {
  return FileHandle(path != nullptr ? std::fopen(path, "rb") : nullptr, &std::fclose);
}

std::vector<std::string> SplitWords(const std::string& line) {
  static const char* const kSpace = " \t\r\n\v\f";
  std::vector<std::string> words;
  std::size_t start = line.find_first_not_of(kSpace);
  while (start != std::string::npos) {
    const std::size_t end = line.find_first_of(kSpace, start);
    words.push_back(line.substr(start, end - start));
    start = line.find_first_not_of(kSpace, end);
  }
  return words;
}

bool IsBlankLine(const std::string& line) {
  return line.find_first_not_of(" \t\r\n\v\f") == std::string::npos;
}

long long FileSizeOf(const char* path) {
  struct stat info;
  if (path == nullptr || stat(path, &info) != 0) return -1;
  return static_cast<long long>(info.st_size);
}

std::string PrintableText(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string printable;
  printable.reserve(text.size());
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      printable += c;
    } else {
      printable += "\\x";
      printable += kHex[byte >> 4];
      printable += kHex[byte & 0xF];
    }
  }
  return printable;
}

void ReportReadProblem(const char* loader, const std::string& path, const std::string& problem) {
  std::printf("ERROR %s: %s: %s\n", loader, path.c_str(), problem.c_str());
  std::fflush(stdout);
}

QuietVtkOutput::QuietVtkOutput()
    : previousDisplay_(vtkObject::GetGlobalWarningDisplay()), savedStderr_(-1) {
  vtkObject::GlobalWarningDisplayOff();
  // The PLY reader also writes warnings straight to the error stream.
  std::fflush(stderr);
  const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (devNull < 0) return;
  savedStderr_ = dup(STDERR_FILENO);
  if (savedStderr_ >= 0) dup2(devNull, STDERR_FILENO);
  close(devNull);
}

QuietVtkOutput::~QuietVtkOutput() {
  vtkObject::SetGlobalWarningDisplay(previousDisplay_);
  if (savedStderr_ >= 0) {
    std::fflush(stderr);
    dup2(savedStderr_, STDERR_FILENO);
    close(savedStderr_);
  }
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
