// The grid file reader and the task expansion: every refused grid file names the file and the
// problem; the tasks carry the detector and evaluator command lines the tools expect.

#include "grid/grid_file.h"

#include <gtest/gtest.h>

#include "grid/engines.h"
#include "grid/tasks.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

using namespace Ostrel::Grid;
using ardentis_test::TempDir;

namespace {

const std::string kTop = "[grid]\nconfigFile = test.ini\n", kGrid = kTop + "noise = 0 0.1\n";

// A directory with a keypoint directory and a test configuration of one model.
void writeTestSet(const TempDir& dir) {
  dir.write("feats/.keep", "");
  dir.write("test.ini",
            "[SCENE]\nPATH = s.ply\n[MODELS]\nNUMBER = 1\nMODEL_0 = m.ply\n"
            "MODEL_0_GROUNDTRUTH = m.txt\n");
}

TEST(GridFile, RefusedFilesNameTheProblem) {
  TempDir dir;
  writeTestSet(dir);
  const std::string entry = "[A]\ndetector = precomputed\n";
  const std::pair<std::string, std::string> cases[] = {
      {"[grid]\nnoise = 0\n" + entry, ": [grid] configFile: missing"},
      {"[grid]\nnoise = 0\nconfigFile = none.ini\n" + entry, ": [grid] configFile: no file "},
      {"[grid]\nnoise = 0\nconfigFile = grid.ini\n" + entry,
       ": [grid] configFile: " + dir.file("grid.ini") + ": no key MODELS.NUMBER"},
      {kGrid + "keypoints = none\n" + entry, ": [A]: precomputed keypoints, but no directory "},
      {kGrid + "noyse = 1\n" + entry, ": [grid] noyse: unknown key"},
      {kGrid + "workDir = nowhere\n" + entry, ": workDir: "},
      {kGrid + "thresholds = 1 0\n" + entry, ": [grid] thresholds: 0 is not positive"},
      {kGrid + "threads = 1.5\n" + entry, ": [grid] threads: '1.5' is not a positive whole number"},
      {kGrid, ": no detector section"},
      {kGrid + "[A]\nradius = 4\n", ": [A]: no detector"},
      {kGrid + entry + "gamma21 = 0.9\n", ": [A] gamma21: precomputed keypoints take no detector"},
      {kGrid + "[A]\ndetector = iss\ngamma21 = 0.9;rm\n", ": [A] gamma21: '0.9;rm' is not a plain"},
      {kGrid + "[A B]\ndetector = iss\n", ": [A B]: a detector ID takes letters, digits"},
      // Detector entries are held to ardentis-detect's own table.
      {kGrid + "[A]\ndetector = ISS\n",
       ": [A] detector: unknown detector 'ISS'; known: precomputed, iss, harris3d, sift3d, "
       "uniform"},
      {kGrid + "[A]\ndetector = iss\ngama21 = 0.9\n",
       ": [A] gama21: not an option of iss (its options: nonMaxRadius, gamma21, gamma32, "
       "minNeighbors)"},
      {kGrid + "[A]\ndetector = iss\nmethod = noble\n",
       ": [A] method: an option of harris3d, not of iss"},
      {kGrid + "[A]\ndetector = iss\ngamma21 = 0.9 0\n", ": [A] gamma21: must be positive, not 0"},
      {kGrid + "[A]\ndetector = sift3d\noctaves = 2.5\n",
       ": [A] octaves: '2.5' is not a whole number"},
      {kGrid + "[A]\ndetector = harris3d\nmethod = best\n",
       ": [A] method: takes harris, noble, lowe, tomasi or curvature, not 'best'"},
      {kTop + "noise = 0 0.1 0.10\n" + entry, ": [grid] noise: 0.10 is given twice"},
      {kTop + "noise = -0.1\n" + entry, ": [grid] noise: -0.1 is negative"},
      {kTop + "noise = inf\n" + entry, ": [grid] noise: 'inf' is not a number"},
      {"[grid\nconfigFile = t.ini\n", "(1)"},  // the INI parser's message: file and line
  };
  for (const auto& [content, problem] : cases) {
    const std::string path = dir.write("grid.ini", content);
    try {
      readGridFile(path);
      ADD_FAILURE() << "accepted: " << content;
    } catch (const GridFileError& error) {
      EXPECT_EQ(std::string(error.what()).substr(0, path.size() + problem.size()), path + problem);
    }
  }
  // Noise levels are written as the evaluator names the scene files.
  const std::string levels = kTop + "noise = 0.0 1e-1 0.50\n" + entry;
  EXPECT_EQ(readGridFile(dir.write("grid.ini", levels)).noise,
            (std::vector<std::string>{"0", "0.1", "0.5"}));
}

TEST(GridTasks, DetectionOncePerSettingThenOneEvaluationPerNoiseLevel) {
  TempDir dir;
  writeTestSet(dir);
  const GridSettings grid = readGridFile(dir.write(
      "grid.ini", kGrid + "thresholds = 1 2\nthreads = 2\n[ISS]\ndetector = iss\nradius = 4 6\n"
                          "gamma21 = 0.975 0.9\nnonMaxRadius = 4\n[F]\ndetector = precomputed\n"));
  const TaskPlan plan =
      planTasks(grid, {"/bin/ardentis", "/bin/ardentis-detect", "/bin/ardentis-prepare"});
  ASSERT_EQ(plan.detection.size(), 1u + 4u);  // the mesh sizes, then a detection per setting
  ASSERT_EQ(plan.evaluation.size(), 10u);
  EXPECT_EQ(plan.detection[2].command,
            "cd " + shellQuote(grid.workDir) +
                " && rm -rf results/tasks/detect/ISS_gamma21-0.975_R-6 && mkdir -p "
                "results/tasks/detect/ISS_gamma21-0.975_R-6 && /bin/ardentis-detect --detector iss "
                "-S feats -r 6 --detectorID ISS_gamma21-0.975 --threads 2 --gamma21 0.975 "
                "--nonMaxRadius 4 -C test.ini -n 0 0.1 > "
                "results/tasks/detect/ISS_gamma21-0.975_R-6/log 2>&1 && touch "
                "results/tasks/detect/ISS_gamma21-0.975_R-6/done && echo done: "
                "results/tasks/detect/ISS_gamma21-0.975_R-6");
  const Task& last = plan.evaluation.back();
  const std::string evaluate =
      " -C test.ini -S feats -O results/tasks/evaluate/F_n0.1 "
      "--detectorID F -n 0.1 -t ";
  EXPECT_NE(last.command.find("{ /bin/ardentis" + evaluate + "1 && /bin/ardentis" + evaluate +
                              "2; } > results/tasks/evaluate/F_n0.1/log 2>&1"),
            std::string::npos)
      << last.command;
  EXPECT_EQ(plan.evaluation[4].directory, "results/tasks/evaluate/ISS_gamma21-0.9_R-4_n0");

  const GridSettings clash = readGridFile(dir.write(
      "grid.ini",
      kGrid +
          "[A]\ndetector = iss\nminNeighbors = 1 2\n[A_minNeighbors-1]\ndetector = precomputed\n"));
  EXPECT_THROW(planTasks(clash, {}), GridFileError);
  std::string values = "\nradius = 1 2 3 4 5 6 7\nminNeighbors = 1 2 3 4 5 6 7\n";
  for (const char* option : {"nonMaxRadius", "gamma21", "gamma32"})
    values += option + std::string(" = 0.1 0.2 0.3 0.4 0.5 0.6 0.7\n");
  const GridSettings huge =
      readGridFile(dir.write("grid.ini", kGrid + "[A]\ndetector = iss" + values));
  EXPECT_THROW(planTasks(huge, {}), GridFileError);  // 7^5 settings: past the limit
}

TEST(GridTasks, ShellQuotingSurvivesTheShell) {
  for (const std::string word : {"plain/path-1.0", "two words", "it's", "$HOME `x` \"q\"", ""}) {
    const auto echoed =
        ardentis_test::runProcess("/bin/sh", {"-c", "printf %s " + shellQuote(word)}, "/");
    EXPECT_EQ(echoed.out, word);
  }
  EXPECT_EQ(arrayIndexList({1, 2, 3, 5, 7, 8}), "1-3,5,7-8");
}

}  // namespace
