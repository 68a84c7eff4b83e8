#pragma once
// Small helpers shared by the mesh readers: file checks, one-line problem reports and a guard
// that keeps VTK's own warning and error output off the console while a reader runs.

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace Ostrel {
namespace Core {
namespace Impl {

// Outcome of a structural check of a file before a VTK reader sees it.
struct StructureCheck {
  int errorCode = 0;    // a vtkErrorCode value; 0 when the file may be handed to the reader
  std::string problem;  // what is wrong, for the loader's message; empty when sound

  bool ok() const { return errorCode == 0; }
  static StructureCheck Failure(int code, const std::string& problem) { return {code, problem}; }
};

// True when `path` names an existing file that is not a directory and can be opened for
// reading.
bool IsReadableFile(const char* path);

// Opens `path` as a text stream in the "C" locale. False when it cannot be opened; errno then
// tells why (EISDIR for a directory, which the stream itself would open).
bool OpenTextFile(const char* path, std::ifstream& stream);

// An open C file, closed when the handle dies; null when the file could not be opened.
using FileHandle = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// Opens `path` for reading bytes.
FileHandle OpenBinaryFile(const char* path);

// The words of `line`, split at white space (space, tab, line ends, vertical tab, form feed),
// as formatted stream input of strings splits them.
std::vector<std::string> SplitWords(const std::string& line);

// True when `line` holds nothing but white space.
bool IsBlankLine(const std::string& line);

// Size of the file in bytes, or -1 when it cannot be found.
long long FileSizeOf(const char* path);

// `text` with every byte outside printable ASCII (and the backslash) written as \xNN, so that text
// quoted from a damaged or hostile file cannot put raw bytes or terminal control sequences on the
// console.
std::string PrintableText(const std::string& text);

// Prints "ERROR <loader>: <path>: <problem>" and a line end on standard output: the one form of
// every loader's own report of a file it refuses (after the library's fixed line, if any). The
// caller escapes what `problem` quotes from the file (PrintableText); `path` is printed as
// given, as the fixed lines print it.
void ReportReadProblem(const char* loader, const std::string& path, const std::string& problem);

// Turns VTK's global warning display off and sends the error stream to /dev/null for its
// lifetime, then restores both: the readers print pipeline dumps of many lines for one problem
// (and the PLY reader raw warnings), which the loaders replace by one line of their own.
class QuietVtkOutput {
 public:
  QuietVtkOutput();
  ~QuietVtkOutput();
  QuietVtkOutput(const QuietVtkOutput&) = delete;
  QuietVtkOutput& operator=(const QuietVtkOutput&) = delete;

 private:
  int previousDisplay_;
  int savedStderr_;  // descriptor of the real error stream, -1 when it was not redirected
};

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
