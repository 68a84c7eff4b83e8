#include "grid/engines.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "cli/messages.h"
#include "core/io/atomic_file.h"
#include "grid/interruption.h"
#include "grid/merge.h"
#include "grid/run_program.h"

namespace Ostrel {
namespace Grid {

namespace {

// One array element: manifest ($1) lines (i - 1) k + 1 to i k, with k = $2 and i its index,
// one after the other; it fails when one of them failed.
const char* const kArrayScript =
    "#!/bin/sh\n"
    "n=$(( (SLURM_ARRAY_TASK_ID - 1) * $2 + 1 )); last=$(( n + $2 - 1 )); status=0\n"
    "while [ \"$n\" -le \"$last\" ]; do\n"
    "  line=$(sed -n \"${n}p\" \"$1\")\n"
    "  if [ -n \"$line\" ]; then /bin/sh -c \"$line\" || status=1; fi\n"
    "  n=$(( n + 1 ))\n"
    "done\n"
    "exit $status\n";

// The array elements holding the manifest lines still to run.
std::vector<int> arrayElements(const std::vector<int>& lines, int tasksPerElement) {
  std::vector<int> elements;
  for (int line : lines) {
    const int element = (line - 1) / tasksPerElement + 1;
    if (elements.empty() || elements.back() != element) elements.push_back(element);
  }
  return elements;
}

std::string resultsPath(const GridSettings& grid, const std::string& name) {
  return inWorkDir(grid, grid.results + "/" + name);
}

// The job ID sbatch --parsable prints ("123" or "123;cluster"), or "" when it failed.
std::string submit(const GridSettings& grid, const Stage& stage, int jobs,
                   const std::string& dependency) {
  const std::string script = resultsPath(grid, "slurm/array.sh");
  std::string array = arrayIndexList(arrayElements(stage.lines, grid.tasksPerElement));
  if (jobs > 0) array += "%" + std::to_string(jobs);
  std::vector<std::string> argv = {"sbatch",
                                   "--parsable",
                                   "--job-name=ardentis-" + stage.name,
                                   "--array=" + array,
                                   "--cpus-per-task=" + std::to_string(grid.threads),
                                   "--output=" + resultsPath(grid, "slurm/%x_%A_%a.log")};
  if (!dependency.empty()) argv.push_back("--dependency=afterany:" + dependency);
  argv.insert(argv.end(), grid.slurmOptions.begin(), grid.slurmOptions.end());
  argv.insert(argv.end(), {script, stage.manifest, std::to_string(grid.tasksPerElement)});
  std::string output;
  if (runProgram(argv, grid.workDir, &output) != 0) {
    Cli::printError("ardentis-grid", "sbatch refused the " + stage.name + " array (" + array + ")");
    return "";
  }
  return output.substr(0, output.find_first_of(";\n"));
}

// Array elements of `ids` still queued or running (squeue no longer lists finished ones), or -1
// when squeue failed.
int queuedTasks(const std::string& ids) {
  std::string output;
  if (runProgram({"squeue", "-h", "-r", "-o", "%i", "-j", ids}, ".", &output) != 0) return -1;
  int count = 0;
  for (char c : output) count += c == '\n';
  return count;
}

// Polls once a second. A controller that does not answer is retried (each failed query may
// itself take its timeout); after a minute without an answer the wait ends with a message and
// whatever the jobs left is merged, the missing tasks reported as such. False when interrupted.
bool waitForSlurm(const std::string& ids) {
  using Clock = std::chrono::steady_clock;
  Clock::time_point lastAnswer = Clock::now();
  for (int last = -1;; ::sleep(1)) {
    if (interrupted()) return false;
    const int queued = queuedTasks(ids);
    if (queued == 0) break;
    if (queued < 0) {
      if (Clock::now() - lastAnswer < std::chrono::minutes(1)) continue;
      std::printf("slurm: squeue gave no answer for a minute; jobs %s left unwatched\n",
                  ids.c_str());
      return true;
    }
    lastAnswer = Clock::now();
    if (queued != last) std::printf("slurm: %d tasks queued or running\n", queued);
    std::fflush(stdout);
    last = queued;
  }
  std::printf("slurm: jobs %s finished\n", ids.c_str());
  return true;
}

void reportJobsLeftQueued(const std::string& ids) {
  std::string spaced = ids;
  for (char& c : spaced) c = c == ',' ? ' ' : c;
  std::printf(
      "slurm: jobs %s stay queued; once they are done, run the same command with --merge, or "
      "cancel them: scancel %s\n",
      ids.c_str(), spaced.c_str());
  std::fflush(stdout);
}

}  // namespace

std::string arrayIndexList(const std::vector<int>& lines) {
  std::string list;
  for (std::size_t i = 0; i < lines.size();) {
    std::size_t end = i;
    while (end + 1 < lines.size() && lines[end + 1] == lines[end] + 1) ++end;
    if (!list.empty()) list += ",";
    list += std::to_string(lines[i]);
    if (end > i) list += "-" + std::to_string(lines[end]);
    i = end + 1;
  }
  return list;
}

EngineOutcome runWithParallel(const GridSettings& grid, const std::vector<Stage>& stages,
                              int jobs) {
  // Manifest lines are POSIX shell; parallel would otherwise guess the shell from its parent.
  ::setenv("PARALLEL_SHELL", "/bin/sh", 1);
  for (const Stage& stage : stages) {
    if (stage.tasks == 0) continue;
    if (interrupted()) return EngineOutcome::interrupted;
    std::printf("running %d %s tasks with GNU parallel\n", stage.tasks, stage.name.c_str());
    std::vector<std::string> argv = {"parallel", "--will-cite", "--joblog",
                                     resultsPath(grid, "joblog-" + stage.name + ".txt"),
                                     "--resume-failed"};
    // The bar redraws itself on a terminal; elsewhere each task's closing line is the progress.
    if (::isatty(2)) argv.push_back("--bar");
    if (jobs > 0) argv.insert(argv.end(), {"--jobs", std::to_string(jobs)});
    argv.insert(argv.end(), {"--arg-file", stage.manifest});
    const int status = runProgram(argv, grid.workDir);
    if (interrupted()) return EngineOutcome::interrupted;
    // parallel's status counts failed tasks up to 101; above that it failed itself.
    if (status > 101 || status == 127) {
      Cli::printError("ardentis-grid", "GNU parallel could not run " + stage.manifest +
                                           " (status " + std::to_string(status) + ")");
      return EngineOutcome::failed;
    }
  }
  return EngineOutcome::ran;
}

EngineOutcome runWithSlurm(const GridSettings& grid, const std::vector<Stage>& stages, int jobs,
                           bool wait) {
  std::error_code ignored;  // a directory that cannot be made fails the script's writing below
  std::filesystem::create_directories(resultsPath(grid, "slurm"), ignored);
  const std::string script = resultsPath(grid, "slurm/array.sh");
  const std::string error = Core::Impl::WriteFileAtomically(script, kArrayScript);
  if (!error.empty()) {
    Cli::printError("ardentis-grid", error);
    return EngineOutcome::failed;
  }
  std::string dependency;
  std::string ids;
  for (const Stage& stage : stages) {
    if (stage.lines.empty()) continue;
    const std::string id = submit(grid, stage, jobs, dependency);
    if (id.empty()) return EngineOutcome::failed;
    std::printf("slurm: %s array of %zu tasks is job %s\n", stage.name.c_str(), stage.lines.size(),
                id.c_str());
    dependency = id;
    ids += (ids.empty() ? "" : ",") + id;
  }
  std::fflush(stdout);
  if (!wait || ids.empty()) return interrupted() ? EngineOutcome::interrupted : EngineOutcome::ran;
  if (waitForSlurm(ids)) return EngineOutcome::ran;
  reportJobsLeftQueued(ids);
  return EngineOutcome::interrupted;
}

}  // namespace Grid
}  // namespace Ostrel
