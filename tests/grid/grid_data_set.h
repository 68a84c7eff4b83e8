#pragma once
// A small generated data set for grid runs: two models (tetrahedra) placed in one
// scene at four noise levels, keypoint files of two outside detectors ("precomputed" entries),
// the test configuration and the grid file.

#include <string>
#include <vector>

#include "support/run_process.h"
#include "support/temp_dir.h"

namespace ardentis_test {

// One detector section of the grid file and the detector ID its tables carry.
struct GridEntry {
  std::string section;
  std::string id;
  int radius;  // -r of its evaluations, -1 for none
};

// The test grid's detectors. A real detection entry (e.g. "[U]\ndetector = uniform\nradius =
// 2\n") can join them: the checks cover every entry listed here.
std::vector<GridEntry> gridEntries();

extern const std::vector<std::string> kGridNoise;
extern const std::vector<std::string> kGridThresholds;
extern const std::vector<std::string> kGridModels;

// Writes data/, test.ini, feats/ and grid.ini (report in report/ unless !withReport) into `dir`.
void writeGridDataSet(const TempDir& dir, bool withReport);

// The keypoint file of detector `id` ("A" or "B") for `mesh`, relative to the data set's directory.
std::string keypointFile(const std::string& id, const std::string& mesh);

ProcessResult runGrid(const std::vector<std::string>& args, const std::string& dir);

// The lines of a table after its header.
std::vector<std::string> tableRows(const std::string& path);

}  // namespace ardentis_test
