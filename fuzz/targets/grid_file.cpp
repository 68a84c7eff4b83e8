// The grid file reader and the task expansion on arbitrary bytes, beside a valid test
// configuration: a grid is read and planned, or refused with GridFileError; never a crash,
// another exception, or an expansion without bound.

#include "grid/grid_file.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "grid/tasks.h"
#include "support/fuzz_input.h"

namespace {

// A directory of this process with test.ini and feats/, where the input becomes grid.ini.
const std::string& gridDirectory() {
  static const std::string directory = [] {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("fuzz-grid-" + std::to_string(::getpid())))
            .string();
    std::filesystem::create_directories(path + "/feats");
    std::ofstream(path + "/test.ini") << "[SCENE]\nPATH = scenes/s.ply\n[MODELS]\nNUMBER = 1\n"
                                         "MODEL_0 = models/m.ply\nMODEL_0_GROUNDTRUTH = gt/m.txt\n";
    return path;
  }();
  return directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ardentis_fuzz::PrepareProcess();
  const std::string path = gridDirectory() + "/grid.ini";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), size);
  try {
    const Ostrel::Grid::GridSettings grid = Ostrel::Grid::readGridFile(path);
    Ostrel::Grid::planTasks(grid, {"ardentis", "ardentis-detect", "ardentis-prepare"});
  } catch (const Ostrel::Grid::GridFileError&) {
  }
  return 0;
}
