// The detectors on box meshes, where the answer is known; the fast ISS against PCL's class; the
// keypoint files read back through the evaluator's reader.

#include "detect/detectors.h"

#include <gtest/gtest.h>
#include <pcl/keypoints/iss_3d.h>
#include <pcl/search/kdtree.h>

#include <cmath>
#include <set>
#include <tuple>

#include "core/clean_poly_data.h"
#include "core/io/load_poly_data.h"
#include "core/mesh_resolution.h"
#include "detect/box_mesh.h"
#include "detect/iss_keypoints.h"
#include "detect/keypoint_order.h"
#include "support/temp_dir.h"
#include "testers/from_file_tester.h"
#include "testset/keypoint_file_writer.h"

using ardentis_detect_test::BoxMesh;
using Ostrel::Detect::DetectorSettings;
using Ostrel::LocalFeatures::Impl::Feature3D;
using Mesh = vtkSmartPointer<vtkPolyData>;

namespace {

const std::array<int, 3> kBox = {40, 32, 24};

Mesh cleaned(Mesh mesh) {
  Ostrel::Core::Impl::CleanPolyData(mesh, true, 0.0, true);
  return mesh;
}

std::vector<Feature3D> detect(vtkPolyData* mesh, const std::string& detector, double mr,
                              double radius = 6.0) {
  const DetectorSettings settings = Ostrel::Detect::settingsFor(detector, radius, 2);
  std::vector<Feature3D> keypoints;
  std::string error;
  EXPECT_TRUE(Ostrel::Detect::detectKeypoints(mesh, settings, mr, keypoints, error)) << error;
  return keypoints;
}

}  // namespace

// ISS and Harris find each of the eight corners and nothing in the flat faces. Harris finds
// nothing on the edges either (their normals span a plane); ISS may (their points spread in
// three dimensions). Each keypoint is the vertex its index names.
TEST(Detectors, FindTheCornersOfABoxAndNothingInItsFaces) {
  const Mesh box = cleaned(BoxMesh(kBox));
  const double mr = Ostrel::Core::Impl::compute_mesh_resolution(box);
  for (const auto& detector : {std::make_pair("iss", 2), std::make_pair("harris3d", 3)}) {
    std::set<std::tuple<bool, bool, bool>> cornersFound;
    for (const Feature3D& k : detect(box, detector.first, mr)) {
      const float p[3] = {k.x, k.y, k.z};
      int planes = 0;  // box planes near the keypoint: 1 inside a face, 2 by an edge, 3 a corner
      for (int a = 0; a < 3; ++a) planes += std::min(p[a], kBox[a] - p[a]) < 6 * mr;
      EXPECT_GE(planes, detector.second) << detector.first << " " << p[0] << " " << p[1];
      if (planes == 3)
        cornersFound.insert({k.x > kBox[0] / 2, k.y > kBox[1] / 2, k.z > kBox[2] / 2});
      const double* vertex = box->GetPoint(k.index);
      EXPECT_EQ(std::make_tuple(k.x, k.y, k.z),
                std::make_tuple(float(vertex[0]), float(vertex[1]), float(vertex[2])));
      EXPECT_FLOAT_EQ(k.scale, 6 * mr);
      EXPECT_GT(k.score, 0.0f) << detector.first;
    }
    EXPECT_EQ(cornersFound.size(), 8u) << detector.first;
  }
}

// Uniform sampling keeps one vertex per occupied cell of side R * mr: on a flat lattice, the
// number of cells, counted here without PCL. SIFT creates its points (index -1) at one of the
// scales minScale * 2^(octave + (s - 1) / scalesPerOctave), written in model units, and scores
// them by their contrast.
TEST(Detectors, UniformCountsItsCellsAndSiftWritesItsScales) {
  const Mesh plane = cleaned(BoxMesh({30, 30, 0}, {0.5, 0.5, 0.5}));
  for (const double radius : {2.0, 5.0, 7.0}) {
    std::set<std::pair<int, int>> cells;
    for (vtkIdType i = 0; i < plane->GetNumberOfPoints(); ++i) {
      const double* p = plane->GetPoint(i);
      cells.insert({int(std::floor(p[0] / radius)), int(std::floor(p[1] / radius))});
    }
    EXPECT_EQ(detect(plane, "uniform", 1.0, radius).size(), cells.size()) << radius;
  }
  const std::vector<Feature3D> sift = detect(cleaned(BoxMesh(kBox)), "sift3d", 0.5);
  ASSERT_FALSE(sift.empty());
  for (const Feature3D& k : sift) {
    EXPECT_EQ(k.index, -1);
    const Ostrel::Detect::DetectorSetting sift =
        Ostrel::Detect::defaultSetting(*Ostrel::Detect::findDetector("sift3d"));
    EXPECT_GE(k.score, float(sift.real("minContrast")));  // its contrast
    const double steps = std::log2(k.scale / (sift.real("minScale") * 0.5)) * 4;
    EXPECT_NEAR(steps, std::round(steps), 1e-4) << k.scale;
  }
}

// PCL's class, the reference the fast ISS must reproduce, with its saliencies made readable.
class ReferenceISS : public pcl::ISSKeypoint3D<pcl::PointXYZ, pcl::PointXYZ> {
 public:
  double saliency(int index) const { return third_eigen_value_[index]; }
};

TEST(ISSKeypoints, GivesExactlyPCLsKeypointsAndSaliencies) {
  const Mesh meshes[] = {cleaned(BoxMesh({30, 24, 18}, {0, 0, 0}, 0.2)),
                         cleaned(Mesh::Take(Ostrel::Core::Impl::LoadPolyData(
                             ARDENTIS_SOURCE_DIR "/examples/data/models/bear_0.ply")))};
  for (const Mesh& mesh : meshes) {
    pcl::PointCloud<pcl::PointXYZ>::Ptr cloud(new pcl::PointCloud<pcl::PointXYZ>);
    std::vector<float> xyz;
    for (vtkIdType i = 0; i < mesh->GetNumberOfPoints(); ++i) {
      const double* v = mesh->GetPoint(i);
      cloud->push_back(pcl::PointXYZ(float(v[0]), float(v[1]), float(v[2])));
      xyz.insert(xyz.end(), {float(v[0]), float(v[1]), float(v[2])});
    }
    const double mr = Ostrel::Core::Impl::compute_mesh_resolution(mesh);
    // The published settings, others (non-max beyond salient), many points at min neighbours.
    for (const Ostrel::Detect::ISSParameters& p :
         {Ostrel::Detect::ISSParameters{6 * mr, 4 * mr, 0.975, 0.975, 5, 2},
          {2 * mr, 3 * mr, 0.9, 0.8, 12, 1},
          {4 * mr, 7 * mr, 0.975, 0.975, 5, 2},
          {6 * mr, 4 * mr, 0.975, 0.975, 60, 2}}) {
      ReferenceISS reference;
      reference.setSearchMethod(std::make_shared<pcl::search::KdTree<pcl::PointXYZ>>());
      reference.setSalientRadius(p.salientRadius);
      reference.setNonMaxRadius(p.nonMaxRadius);
      reference.setThreshold21(p.gamma21);
      reference.setThreshold32(p.gamma32);
      reference.setMinNeighbors(p.minNeighbors);
      reference.setNumberOfThreads(1);  // OpenMP's threads look racy to ThreadSanitizer
      reference.setInputCloud(cloud);
      pcl::PointCloud<pcl::PointXYZ> found;
      reference.compute(found);
      std::set<int> expected(reference.getKeypointsIndices()->indices.begin(),
                             reference.getKeypointsIndices()->indices.end());
      std::vector<int> keypoints;
      std::vector<double> saliency;
      Ostrel::Detect::issKeypoints(xyz, p, keypoints, saliency);
      EXPECT_EQ(keypoints, std::vector<int>(expected.begin(), expected.end())) << p.salientRadius;
      EXPECT_GT(keypoints.size(), 3u);
      for (std::size_t i = 0; i < cloud->size(); ++i)
        ASSERT_EQ(saliency[i], reference.saliency(i)) << i;
    }
  }
}

// What the writer puts in a file is what ardentis reads from it, to the last bit of each float.
TEST(KeypointFile, ReadsBackThroughTheEvaluatorsReader) {
  std::vector<Feature3D> keypoints = detect(cleaned(BoxMesh(kBox)), "uniform", 0.37);
  keypoints.push_back(Feature3D{-1.00000085e-30f, 3.4e38f, 1.0f / 3, 0.100000024f, -1, {}, -7e-7f});
  Ostrel::Detect::sortKeypoints(keypoints);
  ardentis_test::TempDir dir;
  ASSERT_EQ(Ostrel::TestSet::writeKeypointFile(dir.file("k.feat"), keypoints), "");
  std::string saving = dir.path();
  FromFileTester reader("X", saving, 1.0, -1);
  Feature3D* read = nullptr;
  ASSERT_EQ(reader.load(dir.file("k.feat").c_str(), read, false), int(keypoints.size()));
  for (std::size_t i = 0; i < keypoints.size(); ++i) {
    const Feature3D &a = keypoints[i], &b = read[i];
    EXPECT_EQ(std::tie(a.x, a.y, a.z, a.scale, a.index, a.score),
              std::tie(b.x, b.y, b.z, b.scale, b.index, b.score));
  }
  delete[] read;
  EXPECT_EQ(keypoints.front().index, -1);  // sorted by index
  EXPECT_EQ(Ostrel::TestSet::writeKeypointFile(dir.file("none/k.feat"), keypoints),
            "cannot write " + dir.file("none/k.feat") + ": No such file or directory");
}
