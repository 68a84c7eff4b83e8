// The fast SIFT against PCL's SIFTKeypoint, run as ardentis-detect ran it before: on the
// curvature of normals from NormalEstimationOMP, with a sorted kd-tree. The normals are computed on
// one thread: OpenMP's threads would look racy to ThreadSanitizer, which does not see libgomp's
// barriers.

#include "detect/sift_keypoints.h"

#include <gtest/gtest.h>
#include <pcl/common/io.h>
#include <pcl/features/normal_3d_omp.h>
#include <pcl/filters/voxel_grid.h>
#include <pcl/keypoints/sift_keypoint.h>
#include <pcl/search/kdtree.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "detect/test_surfaces.h"

using Ostrel::Detect::SIFTKeypoint;
using Ostrel::Detect::SIFTParameters;
using Cloud = pcl::PointCloud<pcl::PointNormal>;

namespace {

using Reference = pcl::SIFTKeypoint<pcl::PointNormal, pcl::PointWithScale>;

Cloud::Ptr withNormals(const std::vector<float>& xyz, double radius) {
  pcl::PointCloud<pcl::PointXYZ>::Ptr cloud(new pcl::PointCloud<pcl::PointXYZ>);
  for (std::size_t i = 0; i < xyz.size(); i += 3)
    cloud->push_back(pcl::PointXYZ(xyz[i], xyz[i + 1], xyz[i + 2]));
  pcl::NormalEstimationOMP<pcl::PointXYZ, pcl::Normal> estimation(1);
  estimation.setInputCloud(cloud);
  estimation.setSearchMethod(std::make_shared<pcl::search::KdTree<pcl::PointXYZ>>());
  estimation.setRadiusSearch(radius);
  pcl::PointCloud<pcl::Normal> normals;
  estimation.compute(normals);
  Cloud::Ptr result(new Cloud);
  pcl::concatenateFields(*cloud, normals, *result);
  return result;
}

using Found = std::tuple<float, float, float, float>;  // x y z scale

std::vector<Found> sorted(const std::vector<SIFTKeypoint>& keypoints) {
  std::vector<Found> result;
  for (const SIFTKeypoint& k : keypoints) result.emplace_back(k.x, k.y, k.z, k.scale);
  std::sort(result.begin(), result.end());
  return result;
}

// Gaussian-weighted mean curvature at `q`, over every point within three deviations, in double.
double smoothed(const Cloud& cloud, const pcl::PointNormal& q, double sigma) {
  double numerator = 0.0, denominator = 0.0;
  for (const pcl::PointNormal& p : cloud) {
    const double d = (q.getVector3fMap() - p.getVector3fMap()).cast<double>().squaredNorm();
    if (d > 9 * sigma * sigma) continue;
    numerator += p.curvature * std::exp(-0.5 * d / (sigma * sigma));
    denominator += std::exp(-0.5 * d / (sigma * sigma));
  }
  return numerator / denominator;
}

// Each first-octave keypoint's contrast is the difference of Gaussians at its scale and the
// next, computed without a search and in double on the first octave's voxel cloud.
void expectFirstOctaveContrasts(const Cloud::Ptr& input, const SIFTParameters& p,
                                const std::vector<SIFTKeypoint>& keypoints) {
  pcl::VoxelGrid<pcl::PointNormal> voxels;
  voxels.setLeafSize(p.minScale, p.minScale, p.minScale);
  voxels.setInputCloud(input);
  Cloud octave;
  voxels.filter(octave);
  const double step = std::pow(2.0, 1.0 / p.scalesPerOctave);
  int checked = 0;
  for (const SIFTKeypoint& k : keypoints) {
    if (k.scale >= 2 * p.minScale) continue;
    for (const pcl::PointNormal& v : octave) {
      if (std::tie(v.x, v.y, v.z) != std::tie(k.x, k.y, k.z)) continue;
      const double dog = smoothed(octave, v, k.scale * step) - smoothed(octave, v, k.scale);
      EXPECT_NEAR(k.contrast, std::abs(dog), 1e-4 * std::abs(dog) + 1e-7);
      ++checked;
    }
  }
  EXPECT_GT(checked, 0);
}

}  // namespace

// Several settings on every surface: the same keypoints at the same scales as PCL's class, bit
// for bit, on one thread and on three; each keypoint's contrast is PCL's difference of
// Gaussians there.
TEST(SIFTKeypoints, GivesExactlyPCLsKeypointsAndScales) {
  // normal radius and smallest scale (mr), octaves, scales per octave, smallest contrast
  const std::tuple<double, double, int, int, float> cases[] = {
      {4, 2, 3, 4, 1e-4f}, {3, 1.5, 2, 3, 0.0f}, {6, 3, 3, 5, 1e-3f}};
  std::vector<ardentis_detect_test::TestSurface> surfaces = ardentis_detect_test::TestSurfaces();
  // A plane on the unit lattice with points scattered under it, seen at a unit scale: the
  // octaves' clouds keep lattices, where the 25th and 26th nearest neighbours are often equally
  // far, and curvatures that differ from point to point.
  std::vector<float> plane;
  std::mt19937 random(0);
  std::uniform_real_distribution<float> across(0.0f, 30.0f), below(-0.9f, -0.1f);
  for (int i = 0; i < 900; ++i) plane.insert(plane.end(), {float(i % 30), float(i / 30), 0.0f});
  for (int i = 0; i < 80; ++i)
    plane.insert(plane.end(), {across(random), across(random), below(random)});
  surfaces.push_back({"lattice plane", plane, 0.5});
  for (const auto& surface : surfaces) {
    for (const auto& c : cases) {
      const SIFTParameters p{std::get<0>(c) * surface.mr,
                             float(std::get<1>(c) * surface.mr),
                             std::get<2>(c),
                             std::get<3>(c),
                             std::get<4>(c),
                             1};
      const std::string what = surface.name + ", normals " + std::to_string(p.normalRadius);
      const Cloud::Ptr input = withNormals(surface.xyz, p.normalRadius);
      Reference reference;
      reference.setSearchMethod(std::make_shared<pcl::search::KdTree<pcl::PointNormal>>());
      reference.setScales(p.minScale, p.octaves, p.scalesPerOctave);
      reference.setMinimumContrast(p.minContrast);
      reference.setInputCloud(input);
      pcl::PointCloud<pcl::PointWithScale> found;
      reference.compute(found);
      std::vector<Found> expected;
      for (const auto& k : found) expected.emplace_back(k.x, k.y, k.z, k.scale);
      std::sort(expected.begin(), expected.end());
      ASSERT_FALSE(expected.empty()) << what;

      std::vector<SIFTKeypoint> one, three;
      Ostrel::Detect::siftKeypoints(surface.xyz, p, one);
      Ostrel::Detect::siftKeypoints(
          surface.xyz, {p.normalRadius, p.minScale, p.octaves, p.scalesPerOctave, p.minContrast, 3},
          three);
      ASSERT_EQ(sorted(one), expected) << what;
      ASSERT_EQ(one.size(), three.size()) << what;
      for (std::size_t k = 0; k < one.size(); ++k) {
        EXPECT_EQ(std::tie(one[k].x, one[k].y, one[k].z, one[k].scale, one[k].contrast),
                  std::tie(three[k].x, three[k].y, three[k].z, three[k].scale, three[k].contrast));
      }
      expectFirstOctaveContrasts(input, p, one);
    }
  }
}
