#pragma once
// The mean model resolution exactly as the evaluator computes it: each model mesh cleaned
// (points merged at tolerance 0, polygons only), then the mean of compute_mesh_resolution over
// the models.

#include <string>
#include <vector>

namespace Ostrel {
namespace Prepare {

// Loads each of `meshPaths` with LoadPolyData (which reports a mesh it cannot read) and sets
// `resolution` (model units) to the mean over them. Empty string, or the problem (naming the
// first unreadable path).
std::string MeanModelResolution(const std::vector<std::string>& meshPaths, double& resolution);

}  // namespace Prepare
}  // namespace Ostrel
