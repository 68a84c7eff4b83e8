#pragma once
// What an earlier `ardentis-prepare scene` left in a directory, for --force to replace: found
// from the test configuration it wrote there, so that nothing else in the directory is touched.

#include <string>
#include <vector>

namespace Ostrel {
namespace Prepare {

// The files of the composition whose test configurations are `directory`/test.ini or, for a
// dataset, `directory`/scene-<number>.ini: every data/ file they name (model meshes and ground
// truth), their scenes at every noise level found, the configurations themselves, and the
// keypoint files named after their meshes in `directory`/feats/. Empty when there is no
// readable configuration there.
std::vector<std::string> earlierCompositionFiles(const std::string& directory);

// True when `directory` exists and holds anything.
bool holdsAnything(const std::string& directory);

}  // namespace Prepare
}  // namespace Ostrel
