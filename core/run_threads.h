#pragma once
// How many threads a run may keep busy: ARDENTIS_THREADS when it holds a positive integer, else
// the machine's core count. With 1 the run does everything on its one thread, in order; with
// more it does independent work side by side and prints and writes exactly the same.

// The thread count for this run. A value of ARDENTIS_THREADS that is not a positive integer is
// named on standard error and the core count is used instead.
int RunThreadCount();
