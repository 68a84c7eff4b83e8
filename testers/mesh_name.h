#pragma once
// The name of a mesh as the keypoint files and the results table use it: the file name of its
// path without the extension.

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

}  // namespace Impl
}  // namespace Testers
}  // namespace Ostrel
