#pragma once
// Output files that appear whole or not at all. The content goes to a fresh temporary file in
// the same directory as the final path (so that rename() is atomic), which then replaces the
// final path. Readers see the old file or the new one, never a partial one; a failure leaves the
// final path as it was and removes the temporary file.

#include <functional>
#include <string>

namespace Ostrel {
namespace Core {
namespace Impl {

// Runs `write(temporaryPath)` on a new, empty file named `path`.XXXXXX.tmp`extension` (writers
// such as vtkPLYWriter insist on their own extension), then renames it over `path`. The file
// gets the permissions any new file would. Returns an empty string, or "cannot write <path>: "
// and the reason.
std::string ReplaceFileAtomically(const std::string& path, const std::string& extension,
                                  const std::function<bool(const std::string&)>& write);

// Writes `content` to `path` that way.
std::string WriteFileAtomically(const std::string& path, const std::string& content);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
