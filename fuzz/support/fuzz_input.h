#pragma once
// What every fuzz target shares: the input as a file (the readers take paths), and the
// consistency checks that turn a silently wrong result into a crash the fuzzer can see.

#include <cstddef>
#include <cstdint>
#include <string>

class vtkPolyData;

namespace ardentis_fuzz {

// A file holding the fuzz input, named with `suffix` (e.g. ".ply"), removed on destruction.
// One per process and suffix: the fuzzer runs inputs one at a time.
class InputFile {
 public:
  InputFile(const uint8_t* data, size_t size, const std::string& suffix);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};

// Aborts unless every cell of `mesh` refers to existing points only; then measures and cleans
// it as a run would. A null mesh passes.
void CheckLoadedMesh(vtkPolyData* mesh);

// Once per process: sends standard output to /dev/null (the readers report every rejected
// input there) and makes the children in which the loaders probe VTK's readers die without the
// fuzzer's crash handling.
void PrepareProcess();

}  // namespace ardentis_fuzz
