#pragma once
// The commands of ardentis-prepare. Each takes the arguments after its name (argv[0] is the
// command name), prints a line per file it writes on standard output and problems as one line
// on standard error, and returns the exit status: 0 done, 1 an input cannot be used or an
// output cannot be written, 2 a bad command line (after a usage line). On status 1 or 2 no
// output file has been changed, except those already reported as written.

namespace Ostrel {
namespace Prepare {

// noise -C test.ini -n σ... [--seed N] [--resolution MR]: ./data/<scene>_<σ>.ply from
// ./data/<scene>_0.ply with Gaussian noise of deviation σ times the mean model resolution.
int RunNoiseCommand(int argc, char** argv);

// scene -o DIR --model M... [--seed N] [--view X Y Z] [--spacing S]: a synthetic test in DIR.
int RunSceneCommand(int argc, char** argv);

// convert IN OUT.ply: any mesh or cloud the loader reads to binary PLY.
int RunConvertCommand(int argc, char** argv);

}  // namespace Prepare
}  // namespace Ostrel
