// A run on the bundled example data set, checked against what the input files say rather than
// against numbers taken from the program's own output.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_process.h"
#include "support/temp_dir.h"

using ardentis_test::readFile;
using ardentis_test::runArdentis;
using ardentis_test::TempDir;

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream stream(text);
  while (std::getline(stream, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.push_back("");
  return parts;
}

int keypointCount(const std::string& featPath) {
  std::ifstream file(featPath);
  int count = -1;
  file >> count;
  return count;
}

TEST(ExampleRun, EveryModelGetsAConsistentBlockAndRow) {
  TempDir dir;
  const std::filesystem::path example = std::filesystem::path(ARDENTIS_SOURCE_DIR) / "examples";
  for (const char* part : {"data", "feats", "test.ini"}) {
    std::filesystem::copy(example / part, std::filesystem::path(dir.path()) / part,
                          std::filesystem::copy_options::recursive);
  }
  const auto result = runArdentis({"-C", "test.ini", "-S", "feats", "-O", "results", "--detectorID",
                                   "ISSlite", "-n", "0.1", "-t", "2"},
                                  dir.path());
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(result.err, "");

  const std::vector<std::string> models = {"bear_0", "camel_0", "mannequin-devil_0"};
  const int sceneKeypoints = keypointCount(dir.file("feats/ISSlite_scene_0.1.feat"));
  ASSERT_GT(sceneKeypoints, 0);
  EXPECT_NE(result.out.find("Computing scene keypoints: " + std::to_string(sceneKeypoints) + "\n"),
            std::string::npos);

  const std::vector<std::string> lines = split(readFile(dir.file("results/ISSlite.csv")), '\n');
  ASSERT_EQ(lines.size(), 5u);  // header, three rows, nothing after the last line end
  EXPECT_EQ(lines[0].rfind(";Sigma noise;Radius;", 0), 0u);
  EXPECT_EQ(lines[4], "");
  for (std::size_t i = 0; i < models.size(); ++i) {
    const int modelKeypoints = keypointCount(dir.file("feats/ISSlite_" + models[i] + ".feat"));
    const std::string index = std::to_string(i);
    EXPECT_NE(result.out.find(" > model " + index + ": " + std::to_string(modelKeypoints) + "\n"),
              std::string::npos);
    EXPECT_NE(result.out.find("Keypoints of the model[" + index +
                              "]: " + std::to_string(modelKeypoints) + "\n"),
              std::string::npos);

    const std::vector<std::string> row = split(lines[i + 1], ';');
    ASSERT_EQ(row.size(), 10u) << lines[i + 1];
    EXPECT_EQ(row[0], models[i]);
    EXPECT_EQ(row[1], "0.1");
    EXPECT_EQ(row[2], "-1");
    EXPECT_EQ(row[5], "2");
    EXPECT_EQ(std::stoi(row[6]), modelKeypoints);
    EXPECT_EQ(std::stoi(row[8]), sceneKeypoints);
    EXPECT_EQ(row[9], "scene_0.1");
    const int repeatable = std::stoi(row[3]);
    const int nonOccluded = std::stoi(row[7]);
    const double scaleSum = std::stod(row[4]);
    // The models are partly cut away in the scene and the detector is imperfect, but far from
    // useless: some keypoints must be hidden, and some must come back.
    EXPECT_GT(nonOccluded, 0);
    EXPECT_LT(nonOccluded, modelKeypoints);
    EXPECT_GT(repeatable, 0);
    EXPECT_LE(repeatable, nonOccluded);
    EXPECT_GE(scaleSum, 0.0);
    EXPECT_LE(scaleSum, repeatable);
    EXPECT_NE(result.out.find("Keypoints of the model[" + index +
                              "] present in the scene: " + row[7] + "\n"),
              std::string::npos);
  }
}

}  // namespace
