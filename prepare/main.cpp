// ardentis-prepare: prepares the data an evaluation reads (noisy scenes, synthetic scenes with
// ground truth, PLY from any scan).

#include <cstdio>
#include <cstring>

#include "core/io/read_support.h"
#include "prepare/commands.h"

namespace {

const char* const kUsage =
    "Usage: ardentis-prepare COMMAND [options]\n"
    "Commands:\n"
    "  noise    -C test.ini -n SIGMA... [--seed N] [--resolution MR]\n"
    "           the configured scene at each noise level (./data/<scene>_<SIGMA>.ply)\n"
    "  scene    -o DIR --model MESH... [--seed N] [--view X Y Z] [--spacing S]\n"
    "           a synthetic test: models, scene, ground truth and test.ini in DIR\n"
    "  convert  IN OUT.ply\n"
    "           any mesh or cloud the evaluator's loader reads, as binary PLY\n"
    "'ardentis-prepare COMMAND --help' lists a command's options.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const char* command = argv[1];
  if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (std::strcmp(command, "noise") == 0)
    return Ostrel::Prepare::RunNoiseCommand(argc - 1, argv + 1);
  if (std::strcmp(command, "scene") == 0)
    return Ostrel::Prepare::RunSceneCommand(argc - 1, argv + 1);
  if (std::strcmp(command, "convert") == 0) {
    return Ostrel::Prepare::RunConvertCommand(argc - 1, argv + 1);
  }
  std::fprintf(stderr, "ardentis-prepare: unknown command '%s'\n%s",
               Ostrel::Core::Impl::PrintableText(command).c_str(), kUsage);
  return 2;
}
