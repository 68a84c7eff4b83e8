#pragma once

namespace Ostrel {
namespace Core {
namespace Impl {

// Creates every missing directory on the way to the file `path` (mode 0700, outermost first);
// the last component is never created. Reports nothing.
void CreateParentDirectory(const char* path);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
