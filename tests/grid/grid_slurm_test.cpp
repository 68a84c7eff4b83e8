// ardentis-grid on a real Slurm cluster: a single node on this machine, started by the test in a
// temporary directory (munged with its own key and socket, slurmctld and slurmd on loopback
// ports) and stopped by the pids the daemons wrote. The rows must equal a GNU parallel run's.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "grid_data_set.h"

using namespace ardentis_test;

namespace {

bool waitFor(const std::function<bool()>& condition) {
  for (int tries = 0; tries < 300;
       ++tries, std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
    if (condition()) return true;
  }
  return false;
}

// A loopback port nobody listens on right now.
std::string freePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return std::to_string(ntohs(address.sin_port));
}

class LocalSlurm {
 public:
  explicit LocalSlurm(const TempDir& dir) : dir_(dir) {
    ::chmod(dir.path().c_str(), 0755);  // munged wants its socket's directory searchable by all
    std::string key(1024, '\0');
    std::ifstream("/dev/urandom", std::ios::binary).read(key.data(), key.size());
    ::chmod(dir.write("munge.key", key).c_str(), 0400);
    const std::string conf = dir.write("slurm.conf", configuration(dir.path()));
    ::setenv("SLURM_CONF", conf.c_str(), 1);
    // Each daemon forks into the background once it is ready and writes its pid file.
    const std::string d = dir.path();
    runProcess("/usr/sbin/munged",
               {"-f", "--key-file=" + d + "/munge.key", "--socket=" + d + "/munge.sock",
                "--pid-file=" + d + "/munged.pid", "--seed-file=" + d + "/munged.seed",
                "--log-file=" + d + "/munged.log"},
               d);
    runProcess("/usr/sbin/slurmctld", {"-i", "-f", conf}, d);
    runProcess("/usr/sbin/slurmd", {"-f", conf}, d);
    ready_ = waitFor([] {
      return runProcess("/usr/bin/sinfo", {"-h", "-o", "%T"}, "/").out == "idle\n";
    });
  }

  ~LocalSlurm() {
    for (const char* daemon : {"slurmd", "slurmctld", "munged"}) {
      const pid_t pid = std::atoi(readFile(dir_.file(std::string(daemon) + ".pid")).c_str());
      if (pid <= 0 || ::kill(pid, SIGTERM) != 0) continue;
      if (!waitFor([pid] { return ::kill(pid, 0) != 0; })) ::kill(pid, SIGKILL);
    }
    ::unsetenv("SLURM_CONF");
  }

  bool ready() const { return ready_; }
  std::string logs() const {
    return readFile(dir_.file("munged.log")) + readFile(dir_.file("slurmctld.log")) +
           readFile(dir_.file("slurmd.log"));
  }

 private:
  // The smallest configuration for one node, with @D@ the directory, @H@ the short host name.
  static std::string configuration(const std::string& d) {
    std::string text = R"(ClusterName=ardentis-test
SlurmctldHost=@H@(127.0.0.1)
SlurmUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=@D@/munge.sock
StateSaveLocation=@D@
SlurmdSpoolDir=@D@/spool
SlurmctldPidFile=@D@/slurmctld.pid
SlurmdPidFile=@D@/slurmd.pid
SlurmctldLogFile=@D@/slurmctld.log
SlurmdLogFile=@D@/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
ReturnToService=2
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
PartitionName=test Nodes=ALL Default=YES State=UP
NodeName=@H@ NodeAddr=127.0.0.1 CPUs=)" +
                       std::to_string(std::thread::hardware_concurrency()) +
                       "\nSlurmctldPort=" + freePort() + "\nSlurmdPort=" + freePort() + "\n";
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    const std::pair<std::string, std::string> values[] = {
        {"@D@", d}, {"@H@", std::string(name).substr(0, std::string(name).find('.'))}};
    for (const auto& [token, value] : values) {
      for (auto at = text.find(token); at != std::string::npos; at = text.find(token)) {
        text.replace(at, token.size(), value);
      }
    }
    return text;
  }

  const TempDir& dir_;
  bool ready_ = false;
};

TEST(GridOnSlurm, ArrayJobsGiveTheRowsOfGnuParallel) {
  if (::geteuid() != 0) GTEST_SKIP() << "munged, slurmctld and slurmd as SlurmUser root need root";
  TempDir cluster;
  LocalSlurm slurm(cluster);
  ASSERT_TRUE(slurm.ready()) << slurm.logs();

  TempDir onSlurm;
  TempDir onParallel;
  writeGridDataSet(onSlurm, false);
  writeGridDataSet(onParallel, false);
  // Three manifest lines per array element (elements of three, three and two tasks).
  const std::string grid = readFile(onSlurm.file("grid.ini"));
  onSlurm.write("grid.ini",
                "[grid]\ntasksPerElement = 3\n" + grid.substr(grid.find("[grid]\n") + 7));
  const ProcessResult submitted = runGrid({"grid.ini", "--engine", "slurm"}, onSlurm.path());
  ASSERT_EQ(submitted.status, 0) << submitted.out << submitted.err << slurm.logs();
  EXPECT_NE(submitted.out.find("slurm: evaluate array of " + std::to_string(gridEvaluations()) +
                               " tasks is job "),
            std::string::npos);
  ASSERT_EQ(runGrid({"grid.ini"}, onParallel.path()).status, 0);
  // A task whose directory was lost is submitted again alone, without waiting; --merge later.
  std::filesystem::remove_all(onSlurm.file("results/tasks/evaluate/A_n0.3"));
  const ProcessResult again =
      runGrid({"grid.ini", "--engine", "slurm", "--no-wait"}, onSlurm.path());
  EXPECT_NE(again.out.find("slurm: evaluate array of 1 tasks is job "), std::string::npos)
      << again.out;
  ASSERT_TRUE(waitFor([] { return runProcess("/usr/bin/squeue", {"-h"}, "/").out.empty(); }));
  EXPECT_EQ(runGrid({"grid.ini", "--merge"}, onSlurm.path()).status, 0);
  for (const GridEntry& entry : gridEntries()) {
    const std::string table = "results/" + entry.id + ".csv";
    EXPECT_EQ(tableRows(onSlurm.file(table)).size(), 16u);
    EXPECT_EQ(readFile(onSlurm.file(table)), readFile(onParallel.file(table))) << entry.id;
  }
}

}  // namespace
