#pragma once
// What the grid checks before any task runs, in its workDir (the working directory by then): the
// configured scene exists at every noise level of the grid, every keypoint file a precomputed
// entry needs exists, and no noisy scene is older than the scene it was made from.

#include <string>
#include <vector>

#include "grid/grid_file.h"

namespace Ostrel {
namespace Grid {

struct InputCheck {
  std::vector<std::string> missing;   // each missing file, with what makes it
  std::vector<std::string> warnings;  // noisy scenes made from an earlier scene
};

InputCheck checkInputs(const GridSettings& grid);

}  // namespace Grid
}  // namespace Ostrel
