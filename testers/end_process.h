#pragma once
// The one way a run ends at once, as the tester and the decimation stage do on their fatal
// errors.

// Flushes standard output and standard error, then ends the process with `status` (the shell
// sees status & 0xff). No exit handler and no static destructor runs: the scene's thread may
// still be inside VTK or TBB, whose globals exit() would destroy under it. Nothing of the run
// needs them: no output file is open at any fatal stop.
[[noreturn]] void endProcessNow(int status);
