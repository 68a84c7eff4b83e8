#pragma once
// Meshes as the evaluation uses them: cleaned (coincident points merged, unused points and
// degenerate cells removed) before anything is measured or detected on them, and the models'
// mean resolution, the unit every radius of a run is measured in.

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <string>
#include <vector>

namespace Ostrel {
namespace TestSet {

// Cleans `mesh` in place exactly as the evaluation cleans every model and scene.
void cleanAsEvaluated(vtkPolyData* mesh);

// The mesh at `path` (any format the loader reads), cleaned as the evaluation does; null when
// it cannot be read (after the loader's own messages on standard output, which is flushed
// first so that they follow what the caller printed).
vtkSmartPointer<vtkPolyData> loadCleanMesh(const std::string& path);

// Cleans every non-null mesh of `models` in place and measures its resolution (mean edge length,
// in the mesh's units); `resolutions` (cleared first) receives them in order. Returns their sum
// over the number of entries of `models`, null ones included, which is the evaluator's "Mean
// models' resolution"; 0.0 for an empty list rather than 0 / 0. Up to `threads` threads work on
// different models, each model whole on one; the sum is taken in model order, so any thread count
// gives the same bits.
double measureModels(const std::vector<vtkPolyData*>& models, std::vector<double>& resolutions,
                     int threads = 1);

// Loads the model meshes at `paths` (./data/... paths of the configuration at `configPath`),
// cleans and measures them as measureModels does: `meshes` receives them in order and
// `meanResolution` their mean resolution. Returns "", or "cannot read the model mesh <path>"
// with advice on where it was looked for (the loader's own messages on standard output first).
std::string loadModels(const std::vector<std::string>& paths, const std::string& configPath,
                       std::vector<vtkSmartPointer<vtkPolyData>>& meshes, double& meanResolution);

}  // namespace TestSet
}  // namespace Ostrel
