#pragma once
// The results table: ';'-separated, one header line, one row per model per run, accumulated
// across runs at the path the tester names.

#include <boost/program_options/variables_map.hpp>
#include <string>
#include <vector>

#include "measure/repeatability.h"
#include "testers/detector_tester.h"
#include "testers/test_model.h"

// Adds one row per model to the table, writing the header first when the table is new or empty.
// Runs sharing a table are serialised by an flock on "<table>.lock", and the new table replaces
// the old one by rename(), so no row is lost and a failed write leaves the old table as it was.
// A table that cannot be read or written gets one line on standard error naming its path.
void writeResultsTable(IDetectorTester& tester, boost::program_options::variables_map& vm,
                       const std::vector<TestModel>& models, const TestModel& scene,
                       const RepeatabilityResults& results);
