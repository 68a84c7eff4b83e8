#pragma once
// The run's options: the command line (Boost.ProgramOptions) and the test configuration file
// (INI) it names, read into one variables map. Failures print their reason and return false.

#include <boost/program_options/variables_map.hpp>

// Reads the command line, then the test configuration file it names (twice: the second pass
// with the per-model keys registered), into `vm`. Prints help, usage or the reason on standard
// output (a repeatability threshold that is not a positive number: on standard error) and
// returns false when the run cannot go on.
bool parseOptions(int argc, char** argv, boost::program_options::variables_map& vm);
