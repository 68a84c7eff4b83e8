// ardentis-grid end to end: the real GNU parallel, then a real single-node Slurm cluster, run the
// real evaluator on a generated data set; the merged tables are checked against the evaluator's
// own shared table filled by running the same evaluations one after the other.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "support/run_process.h"
#include "support/temp_dir.h"

using namespace ardentis_test;

namespace {

// Two outside detectors with precomputed keypoints: A, and B with radius 3.
const std::pair<std::string, int> kEntries[] = {{"A", -1}, {"B", 3}};
const std::vector<std::string> kNoise = {"0", "0.1", "0.3", "0.5"};

// Corner c of model m, a tetrahedron m + 1 units tall: in the model (k < 0) or in the scene at
// (10 m, 10, 0) with noise level k, where it rises by 0.1 noise c and keypoints drift along x.
std::string corner(int m, int c, int k, double drift = 0) {
  std::ostringstream text;
  const double z = (c == 3) * (m + 1) + (k < 0 ? 0 : std::stod(kNoise[k]) * 0.1 * c);
  text << (c == 1) + (k < 0 ? 0 : 10 * m + drift * k) << " " << (c == 2) + (k < 0 ? 0 : 10) << " "
       << z;
  return text.str();
}

std::string ply(const std::vector<int>& models, int k) {
  std::ostringstream text;
  text << "ply\nformat ascii 1.0\nelement vertex " << 4 * models.size()
       << "\nproperty float x\nproperty float y\nproperty float z\nelement face "
       << 4 * models.size() << "\nproperty list uchar int vertex_indices\nend_header\n";
  for (int m : models)
    for (int c = 0; c < 4; ++c) text << corner(m, c, k) << "\n";
  for (std::size_t p = 0; p < 4 * models.size(); p += 4) {
    for (int f = 0; f < 4; ++f)
      text << "3 " << p + (f == 3) << " " << p + 1 + (f > 1) << " " << p + 2 + (f > 0) << "\n";
  }
  return text.str();
}

// Detector A (d = 0) finds all four corners, B three; in the scene their scale grows with noise.
std::string keypoints(int d, const std::vector<int>& models, int k) {
  std::ostringstream text;
  text << models.size() * (4 - d) << "\n";
  for (int m : models)
    for (int c = 0; c < 4 - d; ++c)
      text << corner(m, c, k, d == 0 ? 0.4 : 0.1) << " " << 1 + 0.1 * std::max(k, 0) << " " << c
           << " 1\n";
  return text.str();
}

std::string keypointFile(int d, const std::string& mesh) {
  return std::string(d == 0 ? "feats/A_" : "feats/B_R-3_") + mesh + ".feat";
}

// Writes data/, test.ini, feats/ and grid.ini, whose [grid] section gets `extra`.
void writeDataSet(const TempDir& dir, const std::string& extra) {
  std::string config = "[SCENE]\nPATH = scenes/scene.ply\n[MODELS]\nNUMBER = 2\n";
  for (int m = 0; m < 2; ++m) {
    const std::string name = m == 0 ? "short" : "tall", key = "MODEL_" + std::to_string(m);
    config += key + " = models/" + name + ".ply\n" + key + "_GROUNDTRUTH = gt/" + name + ".txt\n";
    dir.write("data/models/" + name + "_0.ply", ply({m}, -1));
    dir.write("data/gt/" + name + ".txt",
              "1 0 0 " + std::to_string(10 * m) + "\n0 1 0 10\n0 0 1 0\n");
    for (int d = 0; d < 2; ++d) dir.write(keypointFile(d, name + "_0"), keypoints(d, {m}, -1));
  }
  for (int k = 0; k < 4; ++k) {
    dir.write("data/scenes/scene_" + kNoise[k] + ".ply", ply({0, 1}, k));
    for (int d = 0; d < 2; ++d)
      dir.write(keypointFile(d, "scene_" + kNoise[k]), keypoints(d, {0, 1}, k));
  }
  dir.write("test.ini", config);
  dir.write("grid.ini",
            "[grid]\nconfigFile = test.ini\nnoise = 0 0.1 0.3 0.5\nthresholds = 1 2\n" + extra +
                "[A]\ndetector = precomputed\n[B]\ndetector = precomputed\nradius = 3\n");
}

ProcessResult runGrid(const std::vector<std::string>& args, const std::string& dir,
                      int timeoutSeconds = 0) {
  return runProcess(ARDENTIS_GRID_BINARY, args, dir, timeoutSeconds);
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Whether `condition` holds within `seconds`, asked every tenth of a second.
bool waitFor(const std::function<bool()>& condition, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;; std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
  }
}

// A task fails (a scene's keypoint file is missing) and is reported; resume reruns it alone and
// its rows take their place in manifest order, as in the evaluator's own shared table.
TEST(GridOnParallel, EveryRowLandsOnceInManifestOrderAfterAFailedTaskIsResumed) {
  TempDir dir;
  writeDataSet(dir, "report = report\n");
  const ProcessResult dry = runGrid({"grid.ini", "--dry-run"}, dir.path());
  ASSERT_EQ(dry.status, 0) << dry.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("results")));
  // A keypoint file without keypoints: the evaluator refuses it when the task runs.
  const std::string missing = dir.file(keypointFile(1, "scene_0.3"));
  const std::string keypoints = readFile(missing);
  std::ofstream(missing) << "0\n";

  const ProcessResult failed = runGrid({"grid.ini", "--jobs", "2"}, dir.path());
  EXPECT_EQ(failed.status, 1) << failed.err;
  EXPECT_PRED2(contains, failed.out,
               "8 done, 1 failed\nfailed: results/tasks/evaluate/B_R-3_n0.3\n  | ");
  EXPECT_PRED2(contains, failed.out, "B_R-3_scene_0.3.feat");  // the evaluator's own message
  const std::string table = readFile(dir.file("results/B.csv"));
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 1 + 12);  // header, 3 of 4 noise levels
  EXPECT_EQ(dry.out, readFile(dir.file("results/manifest-detect.txt")) +
                         readFile(dir.file("results/manifest-evaluate.txt")) +
                         "9 tasks: 1 detection, budget or measure, 8 evaluation\n");

  std::ofstream(missing) << keypoints;
  const ProcessResult run = runGrid({"grid.ini", "--jobs", "2"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_PRED2(contains, run.out, "tasks: 9 done, 0 failed\nrows written: 32 in 2 tables\n");
  EXPECT_PRED2(contains, run.out, "Best setting per noise level");
  EXPECT_EQ(readFile(dir.file("report/relative.png")).substr(0, 8), "\x89PNG\r\n\x1a\n");
  // parallel's job log: its header, every task once, then only the failed one again.
  const std::string log = readFile(dir.file("results/joblog-evaluate.txt"));
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1 + 8 + 1);
  EXPECT_PRED2(contains, log.substr(log.rfind('\n', log.size() - 2)), "B_R-3_n0.3");
  // The same evaluations by hand, in manifest order, into the evaluator's shared tables.
  for (const auto& [id, radius] : kEntries) {
    for (const std::string& noise : kNoise) {
      for (const std::string threshold : {"1", "2"}) {
        std::vector<std::string> args = {"-C", "test.ini", "-S",           "feats",
                                         "-O", "byhand",   "--detectorID", id,
                                         "-n", noise,      "-t",           threshold};
        if (radius > 0) args.insert(args.end(), {"-r", std::to_string(radius)});
        ASSERT_EQ(runArdentis(args, dir.path()).status, 0) << id << " " << noise;
      }
    }
    EXPECT_EQ(readFile(dir.file("results/" + id + ".csv")),
              readFile(dir.file("byhand/" + id + ".csv")))
        << id;
  }
}

TEST(GridOnParallel, RefusalsAreNamedAndNothingRuns) {
  const std::string top = "[grid]\nconfigFile = test.ini\nnoise = 0\n";
  const struct {
    std::string grid;
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {top + "[A]\ndetector = ISS\n",
       {"grid.ini", "--dry-run"},
       "ardentis-grid: grid.ini: [A] detector: unknown detector 'ISS'; known: precomputed, iss, "
       "harris3d, sift3d, uniform\n"},
      {top + "[A]\ndetector = precomputed\n",
       {"grid.ini", "-e", "pbs"},
       "ardentis-grid: unknown engine 'pbs' (parallel or slurm) (see ardentis-grid --help)\n"},
      {top + "[A]\ndetector = precomputed\n",
       {"grid.ini", "-n"},
       "ardentis-grid: unrecognised option '-n' (see ardentis-grid --help)\n"},
      // Boost's own message for this text never finishes building.
      {top + "[A]\ndetector = precomputed\n",
       {"grid.ini", "--jobs", "%value%"},
       "ardentis-grid: an argument holds a %...% placeholder such as %value%\n"},
  };
  TempDir dir;
  writeDataSet(dir, "");
  for (const auto& c : cases) {
    dir.write("grid.ini", c.grid);
    const ProcessResult run = runGrid(c.args, dir.path());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, c.message);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("results")));
}

// An evaluation whose detection failed does not run: the failed detection is shown once with
// its log, its evaluations are listed once as not run, and the evaluator never complains of
// keypoint files that were never written.
TEST(GridOnParallel, EvaluationsOfAFailedDetectionAreReportedOnceAsNotRun) {
  TempDir dir;
  writeDataSet(dir, "");
  std::ofstream(dir.file("grid.ini"), std::ios::app) << "[D]\ndetector = uniform\n";
  const std::string scene = readFile(dir.file("data/scenes/scene_0.5.ply"));
  std::ofstream(dir.file("data/scenes/scene_0.5.ply")) << scene.substr(0, scene.size() / 2);
  const ProcessResult run = runGrid({"grid.ini"}, dir.path());
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_PRED2(contains, run.out, "tasks: 6 done, 4 failed, 4 not run\n");
  EXPECT_PRED2(contains, run.out,
               "not run: detection task results/tasks/detect/D failed: "
               "results/tasks/evaluate/D_n0 results/tasks/evaluate/D_n0.1 "
               "results/tasks/evaluate/D_n0.3 results/tasks/evaluate/D_n0.5\n");
  const std::string failure = "failed: results/tasks/detect/D\n  | ";
  EXPECT_EQ(run.out.find(failure), run.out.rfind(failure)) << run.out;
  EXPECT_PRED2(contains, run.out, "ardentis-detect: cannot load the scene mesh");
  EXPECT_FALSE(contains(run.out, "Cannot open file feats/D_")) << run.out;
}

// Missing inputs are named, with the command that makes a missing noise level, before any task
// runs; a noisy scene older than its noise-0 scene is warned of.
TEST(GridOnParallel, InputsAreCheckedBeforeAnyTaskRuns) {
  TempDir dir;
  writeDataSet(dir, "");
  const auto later = std::filesystem::last_write_time(dir.file("data/scenes/scene_0.1.ply")) +
                     std::chrono::minutes(2);
  std::filesystem::last_write_time(dir.file("data/scenes/scene_0.ply"), later);
  const ProcessResult warned = runGrid({"grid.ini", "--dry-run"}, dir.path());
  EXPECT_EQ(warned.status, 0);
  EXPECT_PRED2(contains, warned.err,
               "ardentis-grid: warning: ./data/scenes/scene_0.1.ply is older than "
               "./data/scenes/scene_0.ply, so it was made from an earlier scene; remake it: "
               "ardentis-prepare noise -C test.ini -n 0.1\n");
  std::filesystem::remove(dir.file("data/scenes/scene_0.3.ply"));
  std::filesystem::remove(dir.file(keypointFile(0, "tall_0")));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"grid.ini"}, {"grid.ini", "--dry-run"}}) {
    const ProcessResult refused = runGrid(args, dir.path());
    EXPECT_EQ(refused.status, 1);
    EXPECT_PRED2(contains, refused.err,
                 "ardentis-grid: missing ./data/scenes/scene_0.3.ply (make it with: "
                 "ardentis-prepare noise -C test.ini -n 0.3)\n"
                 "ardentis-grid: missing feats/A_tall_0.feat ([A] reads it: your detector "
                 "writes it)\n");
    EXPECT_PRED2(contains, refused.err, "2 files missing in");
    EXPECT_FALSE(std::filesystem::exists(dir.file("results")));
  }
}

// A grid interrupted during detection stops its tasks, leaves no "done" file it did not earn
// and exits 130; while it ran, a second grid on the same results directory was refused at
// once, naming the first one's process. Run again, it ends with the tables of a grid never
// interrupted.
TEST(GridOnParallel, InterruptedGridResumesAndASecondGridIsRefused) {
  const std::string grid =
      "[grid]\nconfigFile = test.ini\nreport = none\nnoise = 0 0.1\n"
      "[ISSlite]\ndetector = precomputed\n[ISS3D]\ndetector = iss\nradius = 6\n";
  TempDir interrupted, uninterrupted;
  for (const TempDir* dir : {&interrupted, &uninterrupted}) {
    std::filesystem::copy(std::string(ARDENTIS_SOURCE_DIR) + "/examples", dir->path(),
                          std::filesystem::copy_options::recursive);
    dir->write("grid.ini", grid);
  }
  const std::string detection = interrupted.file("results/tasks/detect/ISS3D_R-6");
  ProcessResult second;
  const ProcessResult first =
      runProcessWhile(ARDENTIS_GRID_BINARY, {"grid.ini"}, interrupted.path(), 120, [&](int pid) {
        ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(detection + "/log"); }, 60));
        second = runGrid({"grid.ini"}, interrupted.path(), 60);
        ::kill(-pid, SIGINT);
        EXPECT_PRED2(contains, second.err,
                     "results is in use by another grid (process " + std::to_string(pid) + ")");
      });
  EXPECT_EQ(second.status, 3) << second.err;
  EXPECT_EQ(first.status, 130) << first.out << first.err;
  EXPECT_PRED2(contains, first.err,
               "ardentis-grid: interrupted; run the same command again to resume\n");
  EXPECT_FALSE(std::filesystem::exists(detection + "/done"));
  const ProcessResult resumed = runGrid({"grid.ini"}, interrupted.path(), 120);
  ASSERT_EQ(resumed.status, 0) << resumed.out << resumed.err;
  ASSERT_EQ(runGrid({"grid.ini"}, uninterrupted.path(), 120).status, 0);
  for (const std::string table : {"results/ISSlite.csv", "results/ISS3D.csv"}) {
    EXPECT_EQ(readFile(interrupted.file(table)), readFile(uninterrupted.file(table))) << table;
    EXPECT_FALSE(readFile(interrupted.file(table)).empty()) << table;
  }
}

// A Slurm client command; one whose controller does not answer retries for long, so each call
// is cut off rather than let a broken cluster hang the test.
ProcessResult slurmCommand(const std::string& command, const std::vector<std::string>& args) {
  return runProcess("/usr/bin/" + command, args, "/", 20);
}

// A single-node Slurm cluster in `dir`: munged with its own key and socket, slurmctld and slurmd
// on loopback ports, stopped by the pids the daemons wrote. `unavailable` says why this machine
// cannot run one (empty when the node is idle and has run a first job).
class LocalSlurm {
 public:
  explicit LocalSlurm(const TempDir& dir) : dir_(dir) {
    const std::string d = dir.path(), conf = dir.write("slurm.conf", configuration(d));
    ::chmod(d.c_str(), 0755);  // munged wants its socket's directory searchable by all
    ::chmod(dir.write("munge.key", std::string(1024, 'k')).c_str(), 0400);  // no secret to keep
    ::setenv("SLURM_CONF", conf.c_str(), 1);
    // Each daemon forks into the background once it is ready and writes its pid file.
    runProcess("/usr/sbin/munged",
               {"-f", "--key-file=" + d + "/munge.key", "--socket=" + d + "/munge.sock",
                "--pid-file=" + d + "/munged.pid", "--seed-file=" + d + "/munged.seed",
                "--log-file=" + d + "/munged.log"},
               d, 20);
    runProcess("/usr/sbin/slurmctld", {"-i", "-f", conf}, d, 20);
    runProcess("/usr/sbin/slurmd", {"-f", conf}, d, 20);
    unavailable = firstJob();
  }

  ~LocalSlurm() {
    slurmCommand("scancel", {"--user=root"});  // no job step outlives its daemons
    for (const std::string daemon : {"slurmd", "slurmctld", "munged"}) {
      const pid_t pid = std::atoi(readFile(dir_.file(daemon + ".pid")).c_str());
      if (pid > 0 && ::kill(pid, SIGTERM) == 0 &&
          !waitFor([pid] { return ::kill(pid, 0) != 0; }, 30))
        ::kill(pid, SIGKILL);
    }
    ::unsetenv("SLURM_CONF");
  }

  // The daemons' logs, the node and the queue, for a failure's message.
  std::string state() const {
    return readFile(dir_.file("munged.log")) + readFile(dir_.file("slurmctld.log")) +
           readFile(dir_.file("slurmd.log")) + slurmCommand("scontrol", {"show", "node"}).out +
           slurmCommand("squeue", {"-o", "%i %T %r"}).out;
  }

  std::string unavailable;

 private:
  // Empty once the node is idle and a job has run on it, else what did not happen in time.
  static std::string firstJob() {
    if (!waitFor([] { return slurmCommand("sinfo", {"-h", "-o", "%T"}).out == "idle\n"; }, 45))
      return "the node did not become idle within 45 s";
    const ProcessResult job =
        slurmCommand("sbatch", {"--parsable", "--output=/dev/null", "--wrap=true"});
    if (job.status != 0) return "sbatch refused a job: " + job.err;
    const std::string id = job.out.substr(0, job.out.find_first_of(";\n"));
    std::string state;
    const auto completed = [&] {
      state = slurmCommand("scontrol", {"show", "job", id}).out;
      return contains(state, "JobState=COMPLETED");
    };
    if (!waitFor(completed, 45)) return "a job running true did not complete:\n" + state;
    return "";
  }

  // The smallest configuration for one node: this host's short name with its cores.
  static std::string configuration(const std::string& d) {
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    const std::string host = std::string(name).substr(0, std::string(name).find('.'));
    // Ports below the kernel's ephemeral range, apart for test runs in separate processes.
    const int port = 10000 + 2 * (::getpid() % 10000);
    return "ClusterName=ardentis-test\nSlurmctldHost=" + host +
           "(127.0.0.1)\nSlurmUser=root\n"
           "AuthType=auth/munge\nCredType=cred/munge\nAuthInfo=socket=" +
           d +
           "/munge.sock\n"
           "StateSaveLocation=" +
           d + "\nSlurmdSpoolDir=" + d + "/spool\nSlurmctldPidFile=" + d +
           "/slurmctld.pid\nSlurmdPidFile=" + d + "/slurmd.pid\nSlurmctldLogFile=" + d +
           "/slurmctld.log\nSlurmdLogFile=" + d +
           "/slurmd.log\nProctrackType=proctrack/linuxproc\n"
           "TaskPlugin=task/none\nReturnToService=2\nSelectType=select/cons_tres\n"
           "SelectTypeParameters=CR_Core\nNodeName=" +
           host +
           " NodeAddr=127.0.0.1 CPUs=" + std::to_string(std::thread::hardware_concurrency()) +
           "\nPartitionName=test Nodes=ALL Default=YES State=UP\nSlurmctldPort=" +
           std::to_string(port) + "\nSlurmdPort=" + std::to_string(port + 1) + "\n";
  }

  const TempDir& dir_;
};

// The grid's results, budgets and report match GNU parallel's; the cluster's own failures (it does
// not start here, or cannot run a job) skip the test with the reason, while the grid's own failures
// fail it.
TEST(GridOnSlurm, ArrayJobsGiveTheRowsOfGnuParallel) {
  if (::geteuid() != 0) GTEST_SKIP() << "munged, slurmctld and slurmd as SlurmUser root need root";
  // munged's socket path must stay short (a Unix socket's 108 bytes), whatever $TMPDIR is.
  TempDir cluster("/tmp"), onSlurm, onParallel;
  LocalSlurm slurm(cluster);
  if (!slurm.unavailable.empty())
    GTEST_SKIP() << "no local Slurm cluster: " << slurm.unavailable << "\n" << slurm.state();
  // Three manifest lines per array element (elements of three, three and two tasks).
  // Budgets of the precomputed keypoints too (500 per 1,000 vertices: 2 of a tetrahedron's 4).
  writeDataSet(onSlurm, "tasksPerElement = 3\nkeep = 500 all\n");
  writeDataSet(onParallel, "keep = 500 all\n");
  const ProcessResult submitted = runGrid({"grid.ini", "--engine", "slurm"}, onSlurm.path(), 120);
  ASSERT_EQ(submitted.status, 0) << submitted.out << submitted.err << slurm.state();
  EXPECT_PRED2(contains, submitted.out, "slurm: evaluate array of 16 tasks is job ");
  ASSERT_EQ(runGrid({"grid.ini"}, onParallel.path()).status, 0);
  // A task whose directory was lost is submitted again alone, without waiting; --merge later.
  std::filesystem::remove_all(onSlurm.file("results/tasks/evaluate/A_n0.3"));
  const ProcessResult again =
      runGrid({"grid.ini", "--engine", "slurm", "--no-wait"}, onSlurm.path(), 30);
  EXPECT_PRED2(contains, again.out, "slurm: evaluate array of 1 tasks is job ");
  ASSERT_TRUE(waitFor([] { return slurmCommand("squeue", {"-h"}).out.empty(); }, 45))
      << slurm.state();
  EXPECT_EQ(runGrid({"grid.ini", "--merge"}, onSlurm.path()).status, 0);
  for (const std::string id : {"A", "B", "A_keep-500", "B_keep-500"}) {
    const std::string table = "results/" + id + ".csv";
    EXPECT_EQ(readFile(onSlurm.file(table)), readFile(onParallel.file(table))) << id;
    EXPECT_FALSE(readFile(onSlurm.file(table)).empty()) << id;
  }
  EXPECT_EQ(readFile(onSlurm.file("report/report.csv")),
            readFile(onParallel.file("report/report.csv")));
}

}  // namespace
