#pragma once
// Runs a program to its end and measures it from outside: wall time, processor time and peak
// resident memory.

#include <string>
#include <vector>

namespace ardentis_bench {

struct ChildRun {
  double wallMs = 0;
  double cpuMs = 0;    // user + system time of the child, all its threads
  long peakRssKb = 0;  // ru_maxrss of the child
  int status = -1;     // exit status, or -1 when it did not exit normally
};

// Runs `argv` (argv[0] is the program's path) in `workingDir` with its standard output written
// to `outputFile` (created or emptied; /dev/null by default) and its error sent to /dev/null.
ChildRun RunChild(const std::vector<std::string>& argv, const std::string& workingDir,
                  const std::string& outputFile = "/dev/null");

}  // namespace ardentis_bench
