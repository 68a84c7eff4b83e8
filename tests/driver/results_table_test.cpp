#include "driver/results_table.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <sstream>
#include <tuple>

#include "support/run_process.h"
#include "support/temp_dir.h"

namespace po = boost::program_options;
using ardentis_test::readFile;

namespace {

const std::string kHeader =
    ";Sigma noise;Radius;Repeatable Keypoints;TotScaleRepeatability;RepeatabilityTh;"
    "Model Keypoints;Non-occluded Keypoints;Scene Keypoints;Scene Name\n";

// Names the table at a fixed path and counts how often it is asked.
struct TableTester : IDetectorTester {
  explicit TableTester(std::string table) : IDetectorTester(none, 1.0, -1), table(table) {}
  std::string getOutputFilename(po::variables_map&) override {
    ++calls;
    return table;
  }
  bool IsScaleInvariant() override { return false; }
  int decimate() override { return -1; }
  std::string getDetectorNickname() override { return "DET"; }
  static inline std::string none;
  std::string table;
  int calls = 0;
};

// One run's records: the row m1;0.1;10;40;30.5;2;100;80;500;s1_0.1 for every model.
struct TableRun {
  po::variables_map vm;
  std::vector<TestModel> models;
  TestModel scene;
  RepeatabilityResults results;

  explicit TableRun(std::vector<std::string> names = {"m1"}) : results(names.size()) {
    vm.insert({"radius", po::variable_value(boost::any(10), false)});
    vm.insert({"repeatabilityTh", po::variable_value(boost::any(2.0), false)});
    std::tie(scene.name, scene.noiseSigma, scene.numKeypoints) = std::tuple("s1_0.1", 0.1, 500);
    for (std::size_t i = 0; i < names.size(); ++i) {
      models.emplace_back();
      std::tie(models[i].name, models[i].numKeypoints) = std::tuple(names[i], 100);
      results.nonOccludedKeypoints[i] = 80;
      results.repeatableKeypoints[i] = 40;
      results.totScaleRepeatability[i] = 30.5;
    }
  }
  void write(TableTester& tester) { writeResultsTable(tester, vm, models, scene, results); }
};

std::vector<std::string> filesIn(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.insert(entry.path().filename().string());
  return {names.begin(), names.end()};
}

TEST(ResultsTable, NewTableGetsTheHeaderThenRowsAreAppended) {
  ardentis_test::TempDir dir;
  TableTester tester(dir.file("DET.csv"));
  TableRun run;
  EXPECT_EQ(ardentis_test::capture([&] { run.write(tester); }).out, "writing xls file..\n");
  EXPECT_EQ(tester.calls, 2);
  const std::string row = "m1;0.1;10;40;30.5;2;100;80;500;s1_0.1\n";
  EXPECT_EQ(readFile(tester.table), kHeader + row);
  // Numbers use the default stream formatting.
  run.results.totScaleRepeatability[0] = 12.3456789;
  run.scene.noiseSigma = 1.0e-7;
  run.vm.at("radius").value() = boost::any(-1);
  ardentis_test::capture([&] { run.write(tester); });
  EXPECT_EQ(readFile(tester.table), kHeader + row + "m1;1e-07;-1;40;12.3457;2;100;80;500;s1_0.1\n");
  EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"DET.csv", "DET.csv.lock"}));
  // Existing lines are kept and a last line gets its line end.
  TableTester old(dir.write("old.csv", "first\n\nlast without end"));
  ardentis_test::capture([&] { TableRun().write(old); });
  EXPECT_EQ(readFile(old.table), "first\n\nlast without end\n" + row);
}

// A file size limit makes the new table's write fail part way, as a full disk would.
void writeWithFileSizeLimit(TableTester& tester, TableRun& run, std::size_t bytes) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{rlim_t(bytes), rlim_t(bytes)};
  setrlimit(RLIMIT_FSIZE, &limit);
  run.write(tester);
  std::exit(0);
}

TEST(ResultsTableDeathTest, FailedWriteNamesThePathAndKeepsTheOldTable) {
  ardentis_test::TempDir dir;
  const std::string old = kHeader + "old;row\n";
  TableTester tester(dir.write("DET.csv", old));
  TableRun run;
  EXPECT_EXIT(writeWithFileSizeLimit(tester, run, old.size()), testing::ExitedWithCode(0),
              "^Cannot write results table .*/DET\\.csv: [^\n]*\n$");
  EXPECT_EQ(readFile(tester.table), old);
  EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"DET.csv", "DET.csv.lock"}));
  // A table path that cannot be used is reported, and nothing is written.
  dir.write("not-a-directory", "x");
  TableTester unusable(dir.file("not-a-directory/DET.csv"));
  const std::string err = ardentis_test::capture([&] { run.write(unusable); }).err;
  EXPECT_NE(err.find(unusable.table), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
  EXPECT_EQ(readFile(dir.file("not-a-directory")), "x");
}

TEST(ResultsTable, ConcurrentRunsKeepEveryRow) {
  constexpr int kWriters = 16, kRunsEach = 3;
  ardentis_test::TempDir dir;
  TableTester tester(dir.file("DET.csv"));
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  std::vector<pid_t> writers;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(start[1]);
      char go;
      if (read(start[0], &go, 1) != 0) _exit(2);  // released when the parent closes the pipe
      dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
      for (int r = 0; r < kRunsEach; ++r) {
        const std::string id = "w" + std::to_string(w) + "r" + std::to_string(r);
        TableRun({id + "a", id + "b", id + "c", id + "d"}).write(tester);
      }
      _exit(0);
    }
    writers.push_back(pid);
  }
  close(start[0]);
  close(start[1]);
  for (pid_t pid : writers) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::istringstream table(readFile(tester.table));
  std::string line;
  std::getline(table, line);
  EXPECT_EQ(line + "\n", kHeader);
  std::set<std::string> rows;
  while (std::getline(table, line)) rows.insert(line.substr(0, line.find(';')));
  EXPECT_EQ(rows.size(), std::size_t(kWriters * kRunsEach * 4));
  EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"DET.csv", "DET.csv.lock"}));
}

}  // namespace
