#include "testers/from_file_tester.h"

FromFileTester::FromFileTester(const std::string& detectorID, std::string& savingPath,
                               double meshResolution, int radius)
    : IDetectorTester(savingPath, meshResolution, radius), detectorID(detectorID) {}

FromFileTester::~FromFileTester() = default;
