// ardentis-grid on a real Slurm cluster: a single node on this machine, started by the test in a
// temporary directory (munged with its own key and socket, slurmctld, slurmd, all talking over
// loopback) and stopped by the pids the test holds. The rows must equal a GNU parallel run's.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "grid_data_set.h"

using namespace ardentis_test;

namespace {

// A loopback port nobody listens on right now.
int freePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

std::string shortHostName() {
  char name[256] = {};
  ::gethostname(name, sizeof name - 1);
  const std::string host = name;
  return host.substr(0, host.find('.'));
}

class LocalSlurm {
 public:
  explicit LocalSlurm(const TempDir& dir) : dir_(dir) {
    ::chmod(dir.path().c_str(), 0755);  // munged wants its socket's directory searchable by all
    for (const char* sub : {"state", "spool", "log"}) ::mkdir(dir.file(sub).c_str(), 0700);
    std::string key(1024, '\0');
    std::ifstream("/dev/urandom", std::ios::binary).read(key.data(), key.size());
    ::chmod(dir.write("munge.key", key).c_str(), 0400);
    const std::string conf = dir.write("slurm.conf", configuration());
    ::setenv("SLURM_CONF", conf.c_str(), 1);

    start({"munged", "-F", "-f", "--key-file=" + dir.file("munge.key"),
           "--socket=" + dir.file("munge.sock"), "--pid-file=" + dir.file("munged.pid"),
           "--seed-file=" + dir.file("munged.seed"), "--log-file=" + dir.file("log/munged.log")},
          "log/munged.out");
    waitFor([&] { return ::access(dir.file("munge.sock").c_str(), F_OK) == 0; });
    start({"slurmctld", "-D", "-i", "-f", conf}, "log/slurmctld.out");
    start({"slurmd", "-D", "-f", conf}, "log/slurmd.out");
    ready_ = waitFor([] {
      return runProcess("/usr/bin/sinfo", {"-h", "-o", "%T"}, "/").out.find("idle") == 0;
    });
  }

  // Each daemon by its pid, the last started first.
  ~LocalSlurm() {
    for (auto pid = pids_.rbegin(); pid != pids_.rend(); ++pid) {
      ::kill(*pid, SIGTERM);
      int status = 0;
      if (!waitFor([&] { return ::waitpid(*pid, &status, WNOHANG) == *pid; })) {
        ::kill(*pid, SIGKILL);
        ::waitpid(*pid, &status, 0);
      }
    }
    ::unsetenv("SLURM_CONF");
  }

  bool ready() const { return ready_; }
  std::string logs() const {
    std::string text;
    for (const char* log : {"log/munged.out", "log/slurmctld.log", "log/slurmd.log"}) {
      text += std::string("--- ") + log + "\n" + readFile(dir_.file(log));
    }
    return text;
  }

 private:
  std::string configuration() const {
    const std::string host = shortHostName();
    const std::string cores = std::to_string(std::thread::hardware_concurrency());
    return "ClusterName=ardentis-test\nSlurmctldHost=" + host +
           "(127.0.0.1)\nSlurmUser=root\nSlurmdUser=root\nAuthType=auth/munge\n"
           "AuthInfo=socket=" +
           dir_.file("munge.sock") +
           "\nCredType=cred/munge\n"
           "SlurmctldPort=" +
           std::to_string(freePort()) + "\nSlurmdPort=" + std::to_string(freePort()) +
           "\nStateSaveLocation=" + dir_.file("state") + "\nSlurmdSpoolDir=" + dir_.file("spool") +
           "\nSlurmctldPidFile=" + dir_.file("slurmctld.pid") +
           "\nSlurmdPidFile=" + dir_.file("slurmd.pid") +
           "\nSlurmctldLogFile=" + dir_.file("log/slurmctld.log") +
           "\nSlurmdLogFile=" + dir_.file("log/slurmd.log") +
           "\nProctrackType=proctrack/linuxproc\nTaskPlugin=task/none\n"
           "SelectType=select/cons_tres\nSelectTypeParameters=CR_Core\nMpiDefault=none\n"
           "ReturnToService=2\nSchedulerType=sched/builtin\nJobCompType=jobcomp/none\n"
           "AccountingStorageType=accounting_storage/none\n"
           "JobAcctGatherType=jobacct_gather/none\nSwitchType=switch/none\n"
           "NodeName=" +
           host + " NodeAddr=127.0.0.1 CPUs=" + cores +
           " State=UNKNOWN\nPartitionName=test Nodes=ALL Default=YES MaxTime=INFINITE State=UP\n";
  }

  void start(const std::vector<std::string>& argv, const std::string& log) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int out = ::open(dir_.file(log).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(out, 1);
      ::dup2(out, 2);
      std::vector<char*> args;
      for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
      args.push_back(nullptr);
      ::execvp(args[0], args.data());
      _exit(127);
    }
    if (pid > 0) pids_.push_back(pid);
  }

  template <typename Condition>
  static bool waitFor(Condition condition) {
    for (int tries = 0; tries < 300; ++tries) {
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  const TempDir& dir_;
  std::vector<pid_t> pids_;
  bool ready_ = false;
};

TEST(GridOnSlurm, ArrayJobsGiveTheRowsOfGnuParallel) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "starting munged, slurmctld and slurmd with SlurmUser=root needs root";
  }
  TempDir cluster;
  LocalSlurm slurm(cluster);
  ASSERT_TRUE(slurm.ready()) << slurm.logs();

  TempDir onSlurm;
  TempDir onParallel;
  writeGridDataSet(onSlurm, false);
  writeGridDataSet(onParallel, false);
  // Three manifest lines per array element: elements of three, three and two tasks.
  const std::string grid = readFile(onSlurm.file("grid.ini"));
  onSlurm.write("grid.ini", grid.substr(0, grid.find("[grid]\n") + 7) + "tasksPerElement = 3\n" +
                                grid.substr(grid.find("[grid]\n") + 7));
  const ProcessResult submitted = runGrid({"grid.ini", "--engine", "slurm"}, onSlurm.path());
  ASSERT_EQ(submitted.status, 0) << submitted.out << submitted.err << slurm.logs();
  const std::size_t tasks = gridEntries().size() * kGridNoise.size();
  EXPECT_NE(
      submitted.out.find("slurm: evaluate array of " + std::to_string(tasks) + " tasks is job "),
      std::string::npos)
      << submitted.out;
  ASSERT_EQ(runGrid({"grid.ini"}, onParallel.path()).status, 0);
  // Run again, nothing is left to submit: the tables are merged again from the same tasks.
  const ProcessResult again = runGrid({"grid.ini", "--engine", "slurm"}, onSlurm.path());
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.out.find("array of"), std::string::npos) << again.out;
  for (const GridEntry& entry : gridEntries()) {
    const std::string table = "results/" + entry.id + ".csv";
    EXPECT_EQ(tableRows(onSlurm.file(table)).size(),
              kGridModels.size() * kGridNoise.size() * kGridThresholds.size());
    EXPECT_EQ(readFile(onSlurm.file(table)), readFile(onParallel.file(table))) << entry.id;
  }
}

}  // namespace
