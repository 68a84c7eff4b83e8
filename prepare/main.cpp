// ardentis-prepare: prepares the data an evaluation reads (noisy scenes, synthetic scenes and
// datasets with ground truth, PLY from any scan).

#include <cstdio>
#include <cstring>

#include "cli/exit_status.h"
#include "cli/messages.h"
#include "cli/version.h"
#include "core/io/read_support.h"
#include "prepare/commands.h"

namespace {

const char* const kUsage =
    "Usage: ardentis-prepare COMMAND [options]\n"
    "Commands:\n"
    "  noise    -C CONFIG... -n SIGMA... [--seed N] [--resolution MR]\n"
    "           the configured scenes at each noise level (./data/<scene>_<SIGMA>.ply)\n"
    "  scene    -o DIR --model MESH... [--scenes N [--models-per-scene K]] [--seed N]\n"
    "           [--view X Y Z] [--spacing S] [--force]\n"
    "           a synthetic test (models, scene, ground truth, test.ini) or a dataset of N\n"
    "           scenes (scene-001.ini, ...) in DIR\n"
    "  keep     -C CONFIG... -S DIR --detectorID ID [-r R] [-n SIGMA...] --keep K...\n"
    "           equal budgets: the K highest-scored keypoints per 1,000 vertices of each file\n"
    "  measure  -C CONFIG... [-n SIGMA...] [-o FILE]\n"
    "           the vertex count of every model and scene, cleaned as ardentis cleans them\n"
    "  convert  IN OUT.ply\n"
    "           any mesh or cloud the evaluator's loader reads, as binary PLY\n"
    "'ardentis-prepare COMMAND --help' lists a command's options; --version prints the version.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return Ostrel::Cli::kBadUsage;
  }
  const char* command = argv[1];
  if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
    std::fputs(kUsage, stdout);
    return Ostrel::Cli::kDone;
  }
  if (std::strcmp(command, "--version") == 0) {
    std::printf("%s\n", Ostrel::Cli::versionLine("ardentis-prepare").c_str());
    return Ostrel::Cli::kDone;
  }
  if (std::strcmp(command, "noise") == 0)
    return Ostrel::Prepare::runNoiseCommand(argc - 1, argv + 1);
  if (std::strcmp(command, "scene") == 0)
    return Ostrel::Prepare::runSceneCommand(argc - 1, argv + 1);
  if (std::strcmp(command, "keep") == 0) return Ostrel::Prepare::runKeepCommand(argc - 1, argv + 1);
  if (std::strcmp(command, "measure") == 0)
    return Ostrel::Prepare::runMeasureCommand(argc - 1, argv + 1);
  if (std::strcmp(command, "convert") == 0)
    return Ostrel::Prepare::runConvertCommand(argc - 1, argv + 1);
  Ostrel::Cli::printError("ardentis-prepare",
                          "unknown command '" + Ostrel::Core::Impl::PrintableText(command) + "'");
  std::fputs(kUsage, stderr);
  return Ostrel::Cli::kBadUsage;
}
