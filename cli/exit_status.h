#pragma once
// The exit statuses of the tools around the evaluator (ardentis-detect, ardentis-prepare,
// ardentis-grid, ardentis-inspect), one meaning each across the tools. The evaluator keeps its own.

namespace Ostrel {
namespace Cli {

enum ExitStatus : int {
  kDone = 0,           // everything done, or the help shown
  kInputFailed = 1,    // an input cannot be read, or a task of a grid failed
  kBadUsage = 2,       // a bad command line or configuration
  kCannotWrite = 3,    // an output cannot be written, or the grid's engine cannot run
  kInterrupted = 130,  // stopped by a signal (128 + SIGINT, as a shell reports it)
};

}  // namespace Cli
}  // namespace Ostrel
