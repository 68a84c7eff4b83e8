// The results-table update on an arbitrary existing table: afterwards the table holds exactly
// its former lines (each ended by a line end) followed by the new rows.

#include "driver/results_table.h"

#include <unistd.h>

#include <boost/program_options/variables_map.hpp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/fuzz_input.h"
#include "testers/from_file_tester.h"

namespace po = boost::program_options;

namespace {

const std::string kHeader =
    ";Sigma noise;Radius;Repeatable Keypoints;TotScaleRepeatability;RepeatabilityTh;"
    "Model Keypoints;Non-occluded Keypoints;Scene Keypoints;Scene Name\n";

std::string linesEnded(const std::string& text) {
  std::string result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result += line + "\n";
  return result;
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ardentis_fuzz::PrepareProcess();
  static const std::string directory = "/tmp/ardentis-fuzz-table-" + std::to_string(getpid());
  const std::string table = directory + "/FUZZ.csv";
  const std::string old(reinterpret_cast<const char*>(data), size);
  std::filesystem::create_directories(directory);
  { std::ofstream(table, std::ios::binary) << old; }

  po::variables_map vm;
  vm.insert({"outputPath", po::variable_value(std::string(directory), false)});
  vm.insert({"radius", po::variable_value(-1, false)});
  vm.insert({"repeatabilityTh", po::variable_value(2.0, false)});
  std::string savingPath = "feats";
  FromFileTester tester("FUZZ", savingPath, 1.0, -1);

  std::vector<TestModel> models(2);
  models[0].name = "m1_0";
  models[0].numKeypoints = 10;
  models[1].name = "m2_0";
  TestModel scene;
  scene.name = "s1_0.1";
  scene.noiseSigma = 0.1;
  scene.numKeypoints = 7;
  RepeatabilityResults results(2);
  results.nonOccludedKeypoints[0] = 8;
  results.repeatableKeypoints[0] = 4;
  results.totScaleRepeatability[0] = 2.5;
  writeResultsTable(tester, vm, models, scene, results);

  const std::string before = linesEnded(old);
  const std::string expected = (before.empty() ? kHeader : before) +
                               "m1_0;0.1;-1;4;2.5;2;10;8;7;s1_0.1\n"
                               "m2_0;0.1;-1;0;0;2;0;0;7;s1_0.1\n";
  if (readAll(table) != expected) {
    std::fprintf(stderr, "the table lost or changed rows\n");
    std::abort();
  }
  std::remove(table.c_str());
  return 0;
}
