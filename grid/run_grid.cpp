#include "grid/run_grid.h"

#include <boost/program_options.hpp>
#include <cstdio>
#include <filesystem>
#include <set>

#include "cli/command_line.h"
#include "cli/directories.h"
#include "cli/exit_status.h"
#include "cli/messages.h"
#include "core/io/atomic_file.h"
#include "grid/engines.h"
#include "grid/grid_file.h"
#include "grid/input_check.h"
#include "grid/interruption.h"
#include "grid/merge.h"
#include "grid/read_lines.h"
#include "grid/results_lock.h"
#include "grid/run_program.h"
#include "grid/tasks.h"

namespace po = boost::program_options;

namespace Ostrel {
namespace Grid {

namespace {

const char* const kTool = "ardentis-grid";

struct Options {
  std::string gridFile;
  std::string workDir;
  std::string engine = "parallel";
  int jobs = 0;
  bool dryRun = false;
  bool noWait = false;
  bool mergeOnly = false;
};

void printProblem(const std::string& message) {
  Cli::printError(kTool, message);
}

Cli::ParseOutcome parseCommandLine(int argc, char** argv, Options& options) {
  Cli::CommandLine commandLine{
      kTool,
      "Usage: ardentis-grid grid.ini [--engine parallel|slurm] [--jobs N] [--dry-run]\n"
      "Runs the evaluations a grid file names, merges their results tables into\n"
      "<results>/<detectorID>.csv and draws them with ardentis-report.\n"
      "Exit status: 0 all tasks done, 1 an input is missing or a task failed, 2 bad command\n"
      "line or grid file, 3 the results cannot be written or the engine cannot run,\n"
      "130 interrupted.\n",
      po::options_description("Options"),
      {},
      {}};
  // clang-format off
  commandLine.visible.add_options()
      ("help,h", "print this help and stop")
      ("version", Cli::kVersionOption)
      ("engine,e", po::value(&options.engine)->default_value("parallel"),
       "parallel (GNU parallel on this machine) or slurm (sbatch arrays)")
      ("jobs,j", po::value(&options.jobs)->default_value(0),
       "tasks at a time (0: one per core with parallel, no cap with slurm)")
      ("workdir", po::value(&options.workDir),
       "the directory holding data/ and the test configurations, instead of the grid file's "
       "workDir (one grid file for several datasets)")
      ("dry-run", po::bool_switch(&options.dryRun), "print the manifests and the task count")
      ("no-wait", po::bool_switch(&options.noWait),
       "slurm: print the job IDs and return; run again with --merge when they are done")
      ("merge", po::bool_switch(&options.mergeOnly),
       "run nothing: merge what the tasks left and draw the report");
  // clang-format on
  commandLine.hidden.add_options()("grid", po::value(&options.gridFile));
  commandLine.positional.add("grid", 1);
  po::variables_map vm;
  const Cli::ParseOutcome outcome = Cli::parseCommandLine(commandLine, argc, argv, vm);
  if (outcome != Cli::ParseOutcome::run) return outcome;
  std::string problem;
  if (options.gridFile.empty()) problem = "no grid file given";
  if (options.engine != "parallel" && options.engine != "slurm") {
    problem = "unknown engine '" + options.engine + "' (parallel or slurm)";
  }
  if (options.jobs < 0) problem = "--jobs must not be negative";
  if (problem.empty()) return Cli::ParseOutcome::run;
  printProblem(problem + " (see ardentis-grid --help)");
  return Cli::ParseOutcome::refused;
}

// The other tools sit beside this one in the build and install directories; else PATH.
Tools findTools(std::string& report) {
  std::error_code error;
  const auto directory = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
  const auto beside = [&](const std::string& name) {
    const auto path = directory / name;
    return !error && std::filesystem::exists(path) ? path.string() : name;
  };
  report = beside("ardentis-report");
  return {beside("ardentis"), beside("ardentis-detect"), beside("ardentis-prepare")};
}

std::string manifestText(const std::vector<Task>& tasks) {
  std::string text;
  for (const Task& task : tasks) text += task.command + "\n";
  return text;
}

// Forgets the state of tasks whose line changed since the manifest at `path` was written: their
// "done" files go, and so does parallel's job log, whose line numbers no longer match.
void forgetChangedTasks(const GridSettings& grid, const std::string& path, const std::string& name,
                        const std::vector<Task>& tasks) {
  std::vector<std::string> old;
  readLines(path, old);
  const std::set<std::string> previous(old.begin(), old.end());
  bool changed = old.size() != tasks.size();
  for (std::size_t i = 0; i < tasks.size(); ++i) {
    if (i >= old.size() || old[i] != tasks[i].command) changed = true;
    if (previous.count(tasks[i].command) == 0) {
      std::error_code ignored;  // a task that never ran has no "done" file
      std::filesystem::remove(inWorkDir(grid, tasks[i].directory + "/done"), ignored);
    }
  }
  std::error_code ignored;
  if (changed)
    std::filesystem::remove(inWorkDir(grid, grid.results + "/joblog-" + name + ".txt"), ignored);
}

// Writes both manifests; returns the stages to run, or an empty list after a message.
std::vector<Stage> writeManifests(const GridSettings& grid, const TaskPlan& plan) {
  std::vector<Stage> stages;
  const std::pair<const char*, const std::vector<Task>*> parts[] = {{"detect", &plan.detection},
                                                                    {"evaluate", &plan.evaluation}};
  for (const auto& [name, tasks] : parts) {
    Stage stage;
    stage.name = name;
    stage.manifest = inWorkDir(grid, grid.results + "/manifest-" + stage.name + ".txt");
    stage.tasks = int(tasks->size());
    forgetChangedTasks(grid, stage.manifest, stage.name, *tasks);
    for (int i = 0; i < stage.tasks; ++i) {
      if (!taskDone(grid, (*tasks)[i])) {
        stage.lines.push_back(i + 1);
      }
    }
    const std::string error =
        Ostrel::Core::Impl::WriteFileAtomically(stage.manifest, manifestText(*tasks));
    if (!error.empty()) {
      printProblem(error);
      return {};
    }
    stages.push_back(stage);
  }
  return stages;
}

int printSummary(const MergeResult& result) {
  std::size_t notRun = 0;
  for (const TasksNotRun& group : result.notRun) notRun += group.tasks.size();
  std::printf("tasks: %d done, %zu failed", result.done, result.failed.size());
  if (notRun > 0) std::printf(", %zu not run", notRun);
  std::printf("\n");
  for (const FailedTask& task : result.failed) {
    std::printf("failed: %s%s\n", task.directory.c_str(),
                task.logLines.empty() ? " (did not start)" : "");
    for (const std::string& line : task.logLines) std::printf("  | %s\n", line.c_str());
  }
  for (const TasksNotRun& group : result.notRun) {
    std::printf("not run: detection task %s failed:", group.prerequisite.c_str());
    for (const std::string& task : group.tasks) std::printf(" %s", task.c_str());
    std::printf("\n");
  }
  for (const std::string& error : result.errors) {
    printProblem(error);
  }
  std::printf("rows written: %ld in %zu tables\n", result.rows, result.tables.size());
  for (const std::string& table : result.tables) std::printf("  %s\n", table.c_str());
  std::fflush(stdout);
  return result.failed.empty() && result.notRun.empty() && result.errors.empty()
             ? Cli::kDone
             : Cli::kInputFailed;
}

int drawReport(const GridSettings& grid, const std::string& tool, const MergeResult& result) {
  if (grid.report.empty() || result.tables.empty()) return 0;
  std::vector<std::string> argv = {tool};
  for (const std::string& table : result.tables) argv.push_back(inWorkDir(grid, table));
  argv.insert(argv.end(), {"-o", inWorkDir(grid, grid.report)});
  if (!result.sideFiles.meshes.empty())
    argv.insert(argv.end(), {"--meshes", inWorkDir(grid, result.sideFiles.meshes)});
  if (!result.sideFiles.settings.empty())
    argv.insert(argv.end(), {"--settings", inWorkDir(grid, result.sideFiles.settings)});
  const int status = runProgram(argv, grid.workDir);
  if (status == 0) return 0;
  printProblem("ardentis-report ended with status " + std::to_string(status));
  return Cli::kInputFailed;
}

// The inputs every task reads exist, and the noisy scenes are not older than their scene;
// false after naming what is missing.
bool inputsReady(const GridSettings& grid) {
  std::error_code error;
  std::filesystem::current_path(grid.workDir, error);  // test configurations name ./data/ paths
  const InputCheck check = checkInputs(grid);
  for (const std::string& warning : check.warnings) Cli::printWarning(kTool, warning);
  for (const std::string& missing : check.missing) printProblem("missing " + missing);
  if (check.missing.empty()) return true;
  printProblem(std::to_string(check.missing.size()) + " files missing in " + grid.workDir +
               "; no task was run");
  return false;
}

int runEngine(const Options& options, const GridSettings& grid, const std::vector<Stage>& stages) {
  const bool slurm = options.engine == "slurm";
  const EngineOutcome outcome = slurm ? runWithSlurm(grid, stages, options.jobs, !options.noWait)
                                      : runWithParallel(grid, stages, options.jobs);
  if (outcome == EngineOutcome::failed) return Cli::kCannotWrite;
  if (outcome == EngineOutcome::interrupted) {
    printProblem("interrupted; run the same command again to resume");
    return Cli::kInterrupted;
  }
  return Cli::kDone;
}

}  // namespace

int runGrid(int argc, char** argv) {
  catchInterruptions();
  Options options;
  const Cli::ParseOutcome outcome = parseCommandLine(argc, argv, options);
  if (outcome != Cli::ParseOutcome::run) return Cli::exitStatusOf(outcome);
  std::string reportTool;
  const Tools tools = findTools(reportTool);
  GridSettings grid;
  TaskPlan plan;
  try {
    grid = readGridFile(options.gridFile, options.workDir);
    plan = planTasks(grid, tools);
  } catch (const GridFileError& error) {
    printProblem(error.what());
    return Cli::kBadUsage;
  }
  if (!options.mergeOnly && !inputsReady(grid)) return Cli::kInputFailed;
  const std::size_t count = plan.detection.size() + plan.evaluation.size();
  if (options.dryRun) {
    std::printf("%s%s%zu tasks: %zu detection, budget or measure, %zu evaluation\n",
                manifestText(plan.detection).c_str(), manifestText(plan.evaluation).c_str(), count,
                plan.detection.size(), plan.evaluation.size());
    return 0;
  }

  const std::string results = inWorkDir(grid, grid.results);
  const std::string problem = Cli::makeDirectories(results);
  if (!problem.empty()) {
    printProblem(problem);
    return Cli::kCannotWrite;
  }
  const ResultsLock lock(results);
  if (!lock.problem().empty()) {
    printProblem(lock.problem());
    return Cli::kCannotWrite;
  }
  const std::vector<Stage> stages = writeManifests(grid, plan);
  if (stages.empty()) {
    printProblem("cannot write in " + grid.results);
    return Cli::kCannotWrite;
  }
  if (!options.mergeOnly) {
    const int status = runEngine(options, grid, stages);
    if (status != 0 || (options.engine == "slurm" && options.noWait)) return status;
  }
  const MergeResult result = mergeResults(grid, plan);
  const int status = printSummary(result);
  const int reportStatus = drawReport(grid, reportTool, result);
  return status != 0 ? status : reportStatus;
}

}  // namespace Grid
}  // namespace Ostrel
