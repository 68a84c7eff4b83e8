#pragma once
// The commands of ardentis-prepare. Each takes the arguments after its name (argv[0] is the
// command name), prints a line per file it writes on standard output and problems as one line
// on standard error, and returns the exit status of cli/exit_status.h: 0 done, 1 an input
// cannot be read, 2 a bad command line or test configuration, 3 an output cannot be written.
// On a failure no output file has been changed, except those already reported as written.

namespace Ostrel {
namespace Prepare {

// noise -C CONFIG... -n σ... [--seed N] [--resolution MR]: ./data/<scene>_<σ>.ply from
// ./data/<scene>_0.ply for the scene of each configuration, with Gaussian noise of deviation σ
// times the mean resolution of that configuration's models.
int runNoiseCommand(int argc, char** argv);

// scene -o DIR --model M... [--scenes N [--models-per-scene K]] [--seed N] [--view X Y Z]
// [--spacing S] [--force]: a synthetic test in DIR, or a dataset of N scenes.
int runSceneCommand(int argc, char** argv);

// keep -C CONFIG... -S DIR --detectorID ID [-r R] [-n σ...] --keep K...: the K highest-scored
// keypoints per 1,000 vertices of each mesh's keypoint file, as <ID>_keep-<K>'s files.
int runKeepCommand(int argc, char** argv);

// measure -C CONFIG... [-n σ...] [-o FILE]: Mesh;Vertices of every model and scene, cleaned.
int runMeasureCommand(int argc, char** argv);

// convert IN OUT.ply: any mesh or cloud the loader reads to binary PLY.
int runConvertCommand(int argc, char** argv);

}  // namespace Prepare
}  // namespace Ostrel
