// ISSKeypoints against PCL's ISSKeypoint3D, the reference it must reproduce exactly.

#include "detect/iss_keypoints.h"

#include <gtest/gtest.h>
#include <pcl/keypoints/iss_3d.h>
#include <pcl/search/kdtree.h>

#include <random>

#include "core/clean_poly_data.h"
#include "core/io/load_poly_data.h"
#include "core/mesh_resolution.h"
#include "detect/box_mesh.h"

namespace {

using Ostrel::Detect::ISSParameters;

// PCL's class, with the saliency it keeps to itself made readable.
class ReferenceISS : public pcl::ISSKeypoint3D<pcl::PointXYZ, pcl::PointXYZ> {
 public:
  double saliency(int index) const { return third_eigen_value_[index]; }
};

void compareWithPCL(vtkPolyData* mesh, const ISSParameters& p, const std::string& what) {
  pcl::PointCloud<pcl::PointXYZ>::Ptr cloud(new pcl::PointCloud<pcl::PointXYZ>);
  std::vector<float> xyz;
  for (vtkIdType i = 0; i < mesh->GetNumberOfPoints(); ++i) {
    double v[3];
    mesh->GetPoint(i, v);
    cloud->push_back(pcl::PointXYZ(float(v[0]), float(v[1]), float(v[2])));
    xyz.insert(xyz.end(), {float(v[0]), float(v[1]), float(v[2])});
  }
  ReferenceISS reference;
  reference.setSearchMethod(
      pcl::search::KdTree<pcl::PointXYZ>::Ptr(new pcl::search::KdTree<pcl::PointXYZ>));
  reference.setSalientRadius(p.salientRadius);
  reference.setNonMaxRadius(p.nonMaxRadius);
  reference.setThreshold21(p.gamma21);
  reference.setThreshold32(p.gamma32);
  reference.setMinNeighbors(p.minNeighbors);
  reference.setNumberOfThreads(1);
  reference.setInputCloud(cloud);
  pcl::PointCloud<pcl::PointXYZ> found;
  reference.compute(found);
  std::vector<int> expected(reference.getKeypointsIndices()->indices.begin(),
                            reference.getKeypointsIndices()->indices.end());
  std::sort(expected.begin(), expected.end());

  std::vector<int> keypoints;
  std::vector<double> saliency;
  Ostrel::Detect::ISSKeypoints(xyz, p, keypoints, saliency);
  EXPECT_EQ(keypoints, expected) << what;
  EXPECT_GT(keypoints.size(), 3u) << what;
  for (int i = 0; i < int(xyz.size() / 3); ++i) {
    ASSERT_EQ(saliency[i], reference.saliency(i)) << what << " point " << i;
  }
}

// A box with every vertex moved at random, and a scanned model of the example data.
std::vector<std::pair<std::string, vtkSmartPointer<vtkPolyData>>> meshes() {
  vtkSmartPointer<vtkPolyData> box = ardentis_detect_test::BoxMesh({30, 24, 18});
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0.0, 0.2);
  for (vtkIdType i = 0; i < box->GetNumberOfPoints(); ++i) {
    double p[3];
    box->GetPoint(i, p);
    for (double& c : p) c += noise(random);
    box->GetPoints()->SetPoint(i, p);
  }
  vtkSmartPointer<vtkPolyData> bear = vtkSmartPointer<vtkPolyData>::Take(
      Ostrel::Core::Impl::LoadPolyData(ARDENTIS_SOURCE_DIR "/examples/data/models/bear_0.ply"));
  std::vector<std::pair<std::string, vtkSmartPointer<vtkPolyData>>> all = {{"noisy box", box},
                                                                           {"bear", bear}};
  for (auto& mesh : all) Ostrel::Core::Impl::CleanPolyData(mesh.second, true, 0.0, true);
  return all;
}

}  // namespace

TEST(ISSKeypoints, GivesExactlyPCLsKeypointsAndSaliencies) {
  for (const auto& mesh : meshes()) {
    ASSERT_NE(mesh.second, nullptr);
    const double mr = Ostrel::Core::Impl::compute_mesh_resolution(mesh.second);
    const ISSParameters cases[] = {
        {6 * mr, 4 * mr, 0.975, 0.975, 5, 2},  // the published settings
        {3 * mr, 2 * mr, 0.9, 0.8, 5, 1},
        {4 * mr, 7 * mr, 0.975, 0.975, 5, 2},   // non-maximum radius beyond the salient one
        {6 * mr, 4 * mr, 0.975, 0.975, 60, 2},  // many points below the fewest neighbours
    };
    for (const ISSParameters& p : cases) {
      compareWithPCL(mesh.second, p, mesh.first + " r " + std::to_string(p.salientRadius / mr));
    }
  }
}
