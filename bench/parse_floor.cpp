#include "bench/parse_floor.h"

#include <vtkPolyData.h>

#include <chrono>
#include <string>

#include "bench/workload.h"
#include "core/io/ply_direct_reader.h"
#include "testers/from_file_tester.h"
#include "testset/ground_truth.h"

namespace ardentis_bench {
namespace {

double ParseMesh(const std::string& path) {
  vtkPolyData* mesh = Ostrel::Core::Impl::ReadSimpleBinaryPly(path.c_str());
  const double points = mesh != nullptr ? double(mesh->GetNumberOfPoints()) : 0;
  if (mesh != nullptr) mesh->Delete();
  return points;
}

}  // namespace

// The direct binary PLY reader is the project's fastest mesh parser; keypoint and pose files
// are read by the only code that reads them.
double ParseFloorMs(const std::string& directory, int models) {
  std::string savingPath = directory + "/feats";
  FromFileTester tester(kDetectorName, savingPath, 1.0, -1);
  const std::string feats = savingPath + "/" + kDetectorName + "_";
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i <= models; ++i) {
    const bool scene = i == models;
    const std::string name =
        scene ? std::string("scene_") + kSceneNoise : "m" + std::to_string(i) + "_0";
    ParseMesh(directory + (scene ? "/data/scenes/" : "/data/models/") + name + ".ply");
    Ostrel::LocalFeatures::Impl::Feature3D* keypoints = nullptr;
    tester.load((feats + name + ".feat").c_str(), keypoints, false);
    delete[] keypoints;
    if (!scene) {
      TestModel record;
      Ostrel::TestSet::readGroundTruth(directory + "/data/gt/m" + std::to_string(i) + ".txt",
                                       record.rotation, record.translation);
    }
  }
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

}  // namespace ardentis_bench
