#pragma once
// Whether a read survives: runs it in a forked child first, so that a library reader that
// crashes on a damaged file costs a refusal instead of the process.

#include <functional>

namespace Ostrel {
namespace Core {
namespace Impl {

// Runs `read` once in a child process and tells whether it finished. VTK's readers crash on
// some damaged files (an OBJ face naming a missing texture coordinate, for one), and a crash
// inside a library cannot be caught in-process; the caller reads for real only after the
// probe came through. The child's console output is discarded. When no child can be started
// the answer is true, so that reading goes on as it would without the probe.
bool SurvivesInChildProcess(const std::function<void()>& read);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
