// The detectors on box meshes, where the answer is known, and the keypoint files they give,
// read back through the evaluator's reader.

#include "detect/detectors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <tuple>

#include "core/clean_poly_data.h"
#include "core/mesh_resolution.h"
#include "detect/box_mesh.h"
#include "detect/keypoint_file.h"
#include "support/temp_dir.h"
#include "testers/from_file_tester.h"

using ardentis_detect_test::BoxMesh;
using Ostrel::Detect::DetectKeypoints;
using Ostrel::Detect::DetectorSettings;
using Ostrel::LocalFeatures::Impl::Feature3D;

namespace {

const std::array<int, 3> kBox = {40, 32, 24};

vtkSmartPointer<vtkPolyData> cleanBox() {
  vtkSmartPointer<vtkPolyData> box = BoxMesh(kBox);
  Ostrel::Core::Impl::CleanPolyData(box, true, 0.0, true);
  return box;
}

std::vector<Feature3D> detect(vtkPolyData* mesh, const DetectorSettings& settings, double mr) {
  std::vector<Feature3D> keypoints;
  std::string error;
  EXPECT_TRUE(DetectKeypoints(mesh, settings, mr, keypoints, error)) << error;
  return keypoints;
}

// How many of the box's coordinate planes lie within `distance` of the keypoint: 1 in the
// interior of a face, 2 near an edge, 3 near a corner.
int boxPlanesNear(const Feature3D& k, double distance) {
  const double p[3] = {k.x, k.y, k.z};
  int near = 0;
  for (int axis = 0; axis < 3; ++axis) {
    near += std::min(std::abs(p[axis]), std::abs(kBox[axis] - p[axis])) < distance;
  }
  return near;
}

DetectorSettings settingsOf(const std::string& detector) {
  DetectorSettings settings;
  settings.detector = detector;
  settings.threads = 2;
  return settings;
}

}  // namespace

// ISS and Harris find each of the eight corners and nothing in the flat faces. Harris finds
// nothing on the edges either (their normals span a plane); ISS may (their points spread in
// three dimensions). Each keypoint is the vertex its index names.
TEST(Detectors, FindTheCornersOfABoxAndNothingInItsFaces) {
  vtkSmartPointer<vtkPolyData> box = cleanBox();
  const double mr = Ostrel::Core::Impl::compute_mesh_resolution(box);
  for (const auto& detector : {std::make_pair("iss", 2), std::make_pair("harris3d", 3)}) {
    const DetectorSettings settings = settingsOf(detector.first);
    const std::vector<Feature3D> keypoints = detect(box, settings, mr);
    std::set<std::tuple<bool, bool, bool>> cornersFound;
    for (const Feature3D& k : keypoints) {
      const int planes = boxPlanesNear(k, settings.radius * mr);
      EXPECT_GE(planes, detector.second)
          << detector.first << " " << k.x << " " << k.y << " " << k.z;
      if (planes == 3)
        cornersFound.insert({k.x > kBox[0] / 2, k.y > kBox[1] / 2, k.z > kBox[2] / 2});
      double vertex[3];
      box->GetPoint(k.index, vertex);
      EXPECT_EQ(std::make_tuple(k.x, k.y, k.z),
                std::make_tuple(float(vertex[0]), float(vertex[1]), float(vertex[2])));
      EXPECT_FLOAT_EQ(k.scale, settings.radius * mr);
      EXPECT_GT(k.score, 0.0f) << detector.first;
    }
    EXPECT_EQ(cornersFound.size(), 8u) << detector.first;
  }
}

// Uniform sampling keeps one vertex per occupied cell of the grid of side R * mr: on a flat
// lattice the count is the number of cells, counted here independently of PCL.
TEST(Detectors, UniformSamplingKeepsOneVertexPerOccupiedCell) {
  vtkSmartPointer<vtkPolyData> plane = BoxMesh({30, 30, 0}, {0.5, 0.5, 0.5});
  Ostrel::Core::Impl::CleanPolyData(plane, true, 0.0, true);
  for (const double radius : {2.0, 5.0, 7.0}) {
    DetectorSettings settings = settingsOf("uniform");
    settings.radius = radius;
    std::set<std::pair<int, int>> cells;
    for (vtkIdType i = 0; i < plane->GetNumberOfPoints(); ++i) {
      double p[3];
      plane->GetPoint(i, p);
      cells.insert({int(std::floor(p[0] / radius)), int(std::floor(p[1] / radius))});
    }
    const std::vector<Feature3D> keypoints = detect(plane, settings, 1.0);
    EXPECT_EQ(keypoints.size(), cells.size()) << radius;
    for (const Feature3D& k : keypoints) EXPECT_GE(k.index, 0);
  }
}

// SIFT creates its points (index -1) and writes the scale it found them at, in model units: one
// of minScale * 2^(octave + (s - 1) / scalesPerOctave).
TEST(Detectors, SiftWritesScalesOfItsScaleSpace) {
  vtkSmartPointer<vtkPolyData> box = cleanBox();
  const DetectorSettings settings = settingsOf("sift3d");
  const double mr = 0.5;
  const std::vector<Feature3D> keypoints = detect(box, settings, mr);
  ASSERT_FALSE(keypoints.empty());
  for (const Feature3D& k : keypoints) {
    EXPECT_EQ(k.index, -1);
    const double steps = std::log2(k.scale / (settings.minScale * mr)) * settings.scalesPerOctave;
    EXPECT_NEAR(steps, std::round(steps), 1e-4) << k.scale;
  }
}

// What the writer puts in a file is what ardentis reads from it, to the last bit of each float.
TEST(KeypointFile, ReadsBackThroughTheEvaluatorsReader) {
  vtkSmartPointer<vtkPolyData> box = cleanBox();
  std::vector<Feature3D> keypoints = detect(box, settingsOf("uniform"), 0.37);
  keypoints.push_back(Feature3D{-1e-30f, 3.4e38f, 1.0f / 3.0f, 0.1f, -1, {}, -7.25e-7f});
  Ostrel::Detect::SortKeypoints(keypoints);
  ardentis_test::TempDir dir;
  std::string error;
  ASSERT_TRUE(Ostrel::Detect::WriteKeypointFile(dir.file("k.feat"), keypoints, error)) << error;

  std::string saving = dir.path();
  FromFileTester reader("X", saving, 1.0, -1);
  Feature3D* read = nullptr;
  ASSERT_EQ(reader.load(dir.file("k.feat").c_str(), read, false), int(keypoints.size()));
  for (std::size_t i = 0; i < keypoints.size(); ++i) {
    const Feature3D& a = keypoints[i];
    EXPECT_EQ(
        std::tie(a.x, a.y, a.z, a.scale, a.index, a.score),
        std::tie(read[i].x, read[i].y, read[i].z, read[i].scale, read[i].index, read[i].score));
  }
  delete[] read;
  EXPECT_EQ(keypoints.front().index, -1);  // sorted by index
  EXPECT_FALSE(Ostrel::Detect::WriteKeypointFile(dir.file("none/k.feat"), keypoints, error));
  EXPECT_NE(error.find(dir.file("none/k.feat")), std::string::npos) << error;
}
