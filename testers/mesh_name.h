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

}  // namespace Impl
}  // namespace Testers
}  // namespace Ostrel
