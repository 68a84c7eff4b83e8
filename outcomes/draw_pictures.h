#pragma once
// The pictures of an inspection are drawn by the report's Python package (matplotlib):
// `ardentis-report inspect MESH...` writes <mesh without .ply>.png beside each mesh.

#include <string>
#include <vector>

namespace Ostrel {
namespace Inspect {

// The ardentis-report launcher beside this program (the build and install trees keep the tools
// together), or the bare name, to be looked up in PATH.
std::string reportLauncher();

// Runs `launcher inspect meshPaths...` to its end, its output ours. Returns "" or the problem:
// that it could not start, or the status or signal it ended with.
std::string drawPictures(const std::string& launcher, const std::vector<std::string>& meshPaths);

}  // namespace Inspect
}  // namespace Ostrel
