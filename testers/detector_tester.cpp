#include "testers/detector_tester.h"

#include <cstdio>
#include <string>

#include "core/io/create_parent_directory.h"
#include "testers/end_process.h"
#include "testers/from_file_tester.h"
#include "testset/naming.h"

namespace {

// Default of "detectorID": a run that kept it has not said whose keypoints to read.
const char* const kUnsetDetectorName = "YourDetectorName";

constexpr int kFatalStatus = -100;

// Ends the process with the tester's fatal status; stdout is flushed first so the message
// appears after everything the run printed before it.
[[noreturn]] void endRun(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", message.c_str());
  endProcessNow(kFatalStatus);
}

}  // namespace

IDetectorTester::IDetectorTester(std::string& savingPath, double meshResolution, int radius)
    : meshResolution(meshResolution), radius(radius), savingPath(savingPath) {}

IDetectorTester::~IDetectorTester() = default;

std::string IDetectorTester::getOutputFilename(boost::program_options::variables_map& vm) {
  const std::string path =
      Ostrel::TestSet::resultsTablePath(vm["outputPath"].as<std::string>(), getDetectorNickname());
  Ostrel::Core::Impl::CreateParentDirectory(path.c_str());
  return path;
}

void IDetectorTester::extract(TestModel& model) {
  if (model.name.empty()) model.name = Ostrel::TestSet::meshNameFromPath(model.meshPath);

  const std::string path =
      Ostrel::TestSet::keypointFilePath(savingPath, getDetectorNickname(), radius, model.name);

  Ostrel::LocalFeatures::Impl::Feature3D* keypoints = nullptr;
  const int count = load(path.c_str(), keypoints, false);
  if (count <= 0) endRun("Cannot open file " + path);
  model.keypoints = keypoints;
  model.numKeypoints = count;
}

IDetectorTester* IDetectorTester::getDetector(boost::program_options::variables_map& vm,
                                              double meshResolution) {
  std::string savingPath = vm["savingPath"].as<std::string>();
  const std::string detectorID = vm["detectorID"].as<std::string>();
  const int radius = vm["radius"].as<int>();

  IDetectorTester* tester = new FromFileTester(detectorID, savingPath, meshResolution, radius);
  std::printf("Read keypoints from file\n");
  if (detectorID == kUnsetDetectorName) {
    delete tester;
    endRun(
        "To read keypoints from files, you must specify a valid detector name  with the option "
        "--detectorID");
  }
  return tester;
}
