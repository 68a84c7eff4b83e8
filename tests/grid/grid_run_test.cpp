// ardentis-grid end to end on GNU parallel: the real parallel runs the real evaluator on a
// generated data set; the merged tables are checked against the evaluator's own shared table
// filled by running the same evaluations one after the other.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "grid_data_set.h"

using namespace ardentis_test;

namespace {

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The evaluations of the grid run by hand, in manifest order, into one shared table per ID.
void runByHand(const TempDir& dir) {
  for (const GridEntry& entry : gridEntries()) {
    for (const std::string& noise : kGridNoise) {
      for (const std::string& threshold : kGridThresholds) {
        std::vector<std::string> args = {"-C", "test.ini", "-S",           "feats",
                                         "-O", "byhand",   "--detectorID", entry.id,
                                         "-n", noise,      "-t",           threshold};
        if (entry.radius > 0) args.insert(args.end(), {"-r", std::to_string(entry.radius)});
        ASSERT_EQ(runArdentis(args, dir.path()).status, 0) << entry.id << " " << noise;
      }
    }
  }
}

void expectRowsOnce(const std::vector<std::string>& rows, std::size_t expected) {
  EXPECT_EQ(rows.size(), expected);
  EXPECT_EQ(std::set<std::string>(rows.begin(), rows.end()).size(), rows.size());
}

TEST(GridOnParallel, EveryRowLandsOnceInManifestOrderAndTheReportIsDrawn) {
  TempDir dir;
  writeGridDataSet(dir, true);
  const ProcessResult dry = runGrid({"grid.ini", "--dry-run"}, dir.path());
  ASSERT_EQ(dry.status, 0) << dry.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("results")));

  const ProcessResult run = runGrid({"grid.ini", "--jobs", "2"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const std::size_t tasks = gridDetections() + gridEvaluations();
  const std::size_t rows = kGridModels.size() * kGridNoise.size() * kGridThresholds.size();
  EXPECT_PRED2(contains, run.out, "tasks: " + std::to_string(tasks) + " done, 0 failed\n");
  EXPECT_PRED2(contains, run.out, "rows written: " + std::to_string(rows * gridEntries().size()));
  EXPECT_EQ(dry.out, readFile(dir.file("results/manifest-detect.txt")) +
                         readFile(dir.file("results/manifest-evaluate.txt")) +
                         std::to_string(tasks) + " tasks: " + std::to_string(gridDetections()) +
                         " model detection, " + std::to_string(gridEvaluations()) +
                         " evaluation\n");

  runByHand(dir);
  for (const GridEntry& entry : gridEntries()) {
    const std::string merged = dir.file("results/" + entry.id + ".csv");
    const std::string byHand = dir.file("byhand/" + entry.id + ".csv");
    expectRowsOnce(tableRows(merged), rows);
    EXPECT_EQ(readFile(merged), readFile(byHand)) << entry.id;
  }
  EXPECT_EQ(readFile(dir.file("report/relative.png")).substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_PRED2(contains, run.out, "Best setting per noise level");
}

TEST(GridOnParallel, FailedTaskIsReportedAndRerunAloneByResume) {
  TempDir dir;
  writeGridDataSet(dir, false);
  const std::string missing = keypointFile("B", "scene_0.3");
  const std::string keypoints = readFile(dir.file(missing));
  std::filesystem::remove(dir.file(missing));

  const std::size_t tasks = gridDetections() + gridEvaluations();
  const ProcessResult failed = runGrid({"grid.ini"}, dir.path());
  EXPECT_EQ(failed.status, 1) << failed.err;
  EXPECT_PRED2(contains, failed.out,
               std::to_string(tasks - 1) +
                   " done, 1 failed\nfailed: "
                   "results/tasks/evaluate/B_R-3_n0.3\n  | ");
  EXPECT_PRED2(contains, failed.out, "B_R-3_scene_0.3.feat");  // the evaluator's own message
  const std::size_t perLevel = kGridModels.size() * kGridThresholds.size();
  expectRowsOnce(tableRows(dir.file("results/B.csv")), 3 * perLevel);

  dir.write(missing, keypoints);
  const ProcessResult resumed = runGrid({"grid.ini"}, dir.path());
  EXPECT_EQ(resumed.status, 0) << resumed.out << resumed.err;
  EXPECT_PRED2(contains, resumed.out, std::to_string(tasks) + " done, 0 failed\n");
  expectRowsOnce(tableRows(dir.file("results/B.csv")), 4 * perLevel);
  // parallel's job log: its header, every task once, then only the failed one again.
  const std::vector<std::string> log = tableRows(dir.file("results/joblog-evaluate.txt"));
  ASSERT_EQ(log.size(), gridEvaluations() + 1);
  EXPECT_PRED2(contains, log.back(), "B_R-3_n0.3");
}

TEST(GridOnParallel, BadGridFileIsNamedAndNothingRuns) {
  TempDir dir;
  dir.write("grid.ini", "[grid]\nconfigFile = grid.ini\nnoise = 0 zero\n[A]\ndetector = x\n");
  const ProcessResult run = runGrid({"grid.ini"}, dir.path());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "ardentis-grid: grid.ini: [grid] noise: 'zero' is not a number\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("results")));
  EXPECT_EQ(runGrid({"grid.ini", "--engine", "pbs"}, dir.path()).status, 2);
  // Boost's own message for this text never finishes building.
  const ProcessResult placeholder = runGrid({"grid.ini", "--jobs", "%value%"}, dir.path());
  EXPECT_EQ(placeholder.status, 2);
  EXPECT_EQ(placeholder.err,
            "ardentis-grid: an argument holds a %...% placeholder such as %value% (see --help)\n");
}

}  // namespace
