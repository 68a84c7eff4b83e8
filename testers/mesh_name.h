#pragma once
// The names the evaluator gives its files: a mesh's name (the file name of its path without the
// extension), the noise level in scene file names, where keypoint files and results tables are
// kept. Shared by the evaluator and by the tools that write what it reads.

#include <string>

namespace Ostrel {
namespace Testers {
namespace Impl {

// The file name of `meshPath` (after its last '/' or '\\') without its extension (from its last
// '.' on): ./data/bunny_0.ply gives bunny_0, a.b/c gives c.
std::string MeshNameFromPath(const std::string& meshPath);

// Where a detector's keypoints for one mesh are kept: <savingPath>/<detectorID>[_R-<radius>]_
// <meshName>.feat, the radius part only when `radius` > 0. Shared by the evaluator, which reads
// these files, and by the tools that write them.
std::string KeypointFilePath(const std::string& savingPath, const std::string& detectorID,
                             int radius, const std::string& meshName);

// The noise level `sigma` as scene file names carry it: written by a default-formatted stream in
// the "C" locale, six significant digits as %g (0.1, 0, 0.25, 1e-07).
std::string NoiseLevelName(double sigma);

// The results table of a detector: <outputPath>/<detectorID>.csv.
std::string ResultsTablePath(const std::string& outputPath, const std::string& detectorID);

}  // namespace Impl
}  // namespace Testers
}  // namespace Ostrel
