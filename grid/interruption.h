#pragma once
// Ctrl-C, SIGINT, SIGTERM or SIGHUP while a grid runs. The grid does not die at once: it passes
// the signal on to the program it waits for (GNU parallel then stops its running tasks, which
// leave no "done" file), waits for that program to end, and reports the interruption.

namespace Ostrel {
namespace Grid {

// Installs the handlers for the life of the process. A blocking call (sleep, a wait) returns
// early when a signal arrives.
void catchInterruptions();

// True once one of the signals arrived.
bool interrupted();

// The process a signal is passed on to (as SIGINT, which makes GNU parallel stop its running
// tasks; its answer to SIGTERM is to wait for them), or 0 for none. When a signal has already
// arrived, `pid` gets it at once.
void passInterruptionsTo(int pid);

}  // namespace Grid
}  // namespace Ostrel
