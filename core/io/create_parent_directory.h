#pragma once
// Creating the missing directories on the way to an output file (the results table), before the
// file itself is written.

namespace Ostrel {
namespace Core {
namespace Impl {

// Creates every missing directory on the way to the file `path` (mode 0700, outermost first);
// the last component is never created. Reports nothing.
void CreateParentDirectory(const char* path);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
