#pragma once
// A small generated data set for grid runs: two tetrahedra in a scene at four noise levels,
// keypoint files of two outside detectors, the test configuration and the grid file.

#include <string>
#include <vector>

#include "support/run_process.h"
#include "support/temp_dir.h"

namespace ardentis_test {

// A detector section of the grid file, its detector ID and radius (-1: none).
struct GridEntry {
  std::string section;
  std::string id;
  int radius;
};

// The test grid's detectors: two precomputed ones. A real detection entry can join them
// ({"[U]\ndetector = uniform\nradius = 2\n", "U", 2}): the checks cover every entry.
std::vector<GridEntry> gridEntries();
// Tasks of the grid: model detection, evaluation.
std::size_t gridDetections();
std::size_t gridEvaluations();

extern const std::vector<std::string> kGridNoise;
extern const std::vector<std::string> kGridThresholds;
extern const std::vector<std::string> kGridModels;

// Writes data/, test.ini, feats/ and grid.ini (with a report unless !withReport) into `dir`.
void writeGridDataSet(const TempDir& dir, bool withReport);

// The keypoint file of "A" or "B" for `mesh`, relative to the data set's directory.
std::string keypointFile(const std::string& id, const std::string& mesh);

ProcessResult runGrid(const std::vector<std::string>& args, const std::string& dir);

// The lines of a table after its header.
std::vector<std::string> tableRows(const std::string& path);

}  // namespace ardentis_test
