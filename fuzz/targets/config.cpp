// Both configuration-file passes on an arbitrary file: a run goes on or stops with a message,
// never a crash, an uncaught exception or an unbounded number of registered keys.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/parse_options.h"
#include "support/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ardentis_fuzz::PrepareProcess();
  const ardentis_fuzz::InputFile input(data, size, ".ini");
  std::vector<std::string> args = {"ardentis", "-C",  input.path(),   "-S",  "feats",
                                   "-O",       "out", "--detectorID", "FUZZ"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  boost::program_options::variables_map vm;
  parseOptions(static_cast<int>(argv.size()), argv.data(), vm);
  return 0;
}
