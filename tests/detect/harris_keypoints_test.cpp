// The fast Harris against PCL's HarrisKeypoint3D, run as ardentis-detect ran it before: normals
// from NormalEstimationOMP at the same radius, a sorted kd-tree, non-maximum suppression, no
// refinement. PCL's classes run on one thread (their results do not depend on the count): their
// OpenMP threads would look racy to ThreadSanitizer, which does not see libgomp's barriers.

#include "detect/harris_keypoints.h"

#include <gtest/gtest.h>
#include <pcl/features/normal_3d_omp.h>
#include <pcl/keypoints/harris_3d.h>
#include <pcl/search/kdtree.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "detect/test_surfaces.h"

using Ostrel::Detect::HarrisMethod;
using Ostrel::Detect::HarrisParameters;
using Reference = pcl::HarrisKeypoint3D<pcl::PointXYZ, pcl::PointXYZI>;

namespace {

// Equal bits, or both NaN (PCL's NaN and ours may differ in sign).
bool same(float a, float b) {
  return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

using Cloud = pcl::PointCloud<pcl::PointXYZ>;
using Normals = pcl::PointCloud<pcl::Normal>;

Normals::Ptr normalsOf(const Cloud::Ptr& cloud, double radius) {
  pcl::NormalEstimationOMP<pcl::PointXYZ, pcl::Normal> estimation(1);
  estimation.setInputCloud(cloud);
  estimation.setSearchMethod(std::make_shared<pcl::search::KdTree<pcl::PointXYZ>>());
  estimation.setRadiusSearch(radius);
  Normals::Ptr normals(new Normals);
  estimation.compute(*normals);
  return normals;
}

// PCL's keypoints (index -> response) with suppression, or every point's response without.
std::map<int, float> reference(const Cloud::Ptr& cloud, const Normals::Ptr& normals,
                               const HarrisParameters& p, Reference::ResponseMethod method,
                               bool suppress) {
  Reference harris(method, float(p.radius), p.threshold);
  harris.setSearchMethod(std::make_shared<pcl::search::KdTree<pcl::PointXYZ>>());
  harris.setNonMaxSupression(suppress);
  harris.setRefine(false);
  harris.setNumberOfThreads(1);
  harris.setInputCloud(cloud);
  harris.setNormals(normals);
  pcl::PointCloud<pcl::PointXYZI> found;
  harris.compute(found);
  std::map<int, float> result;
  const pcl::Indices& indices = harris.getKeypointsIndices()->indices;
  for (std::size_t k = 0; k < found.size(); ++k) result[indices[k]] = found[k].intensity;
  return result;
}

}  // namespace

// Every method on every surface at several radii and thresholds (0 keeps the float noise of
// flat parts, where exact sums matter most): the same keypoints, the same response at every
// point, bit for bit, on one thread or on three (in turn: on every surface each method and each
// radius meets both).
TEST(HarrisKeypoints, GivesExactlyPCLsKeypointsAndResponses) {
  const std::pair<HarrisMethod, Reference::ResponseMethod> methods[] = {
      {HarrisMethod::Harris, Reference::HARRIS},
      {HarrisMethod::Noble, Reference::NOBLE},
      {HarrisMethod::Lowe, Reference::LOWE},
      {HarrisMethod::Tomasi, Reference::TOMASI},
      {HarrisMethod::Curvature, Reference::CURVATURE}};
  const std::pair<double, float> cases[] = {{6.0, 1e-6f}, {3.0, 0.0f}, {4.5, 1e-4f}};
  int run = 0;
  for (const auto& surface : ardentis_detect_test::TestSurfaces()) {
    Cloud::Ptr cloud(new Cloud);
    for (std::size_t i = 0; i < surface.xyz.size(); i += 3)
      cloud->push_back(pcl::PointXYZ(surface.xyz[i], surface.xyz[i + 1], surface.xyz[i + 2]));
    for (const auto& c : cases) {
      const Normals::Ptr normals = normalsOf(cloud, c.first * surface.mr);
      for (const auto& method : methods) {
        const unsigned threads = run++ % 2 ? 3 : 1;
        const HarrisParameters p{c.first * surface.mr, method.first, c.second, threads};
        const std::string what = surface.name + ", method " + std::to_string(method.second) +
                                 ", radius " + std::to_string(c.first) + ", " +
                                 std::to_string(threads) + " threads";
        const std::map<int, float> expected = reference(cloud, normals, p, method.second, true);
        const std::map<int, float> all = reference(cloud, normals, p, method.second, false);
        std::vector<int> keypoints;
        std::vector<float> response;
        Ostrel::Detect::harrisKeypoints(surface.xyz, p, keypoints, response);
        std::vector<int> indices;
        for (const auto& k : expected) indices.push_back(k.first);
        ASSERT_EQ(keypoints, indices) << what;
        ASSERT_EQ(response.size(), all.size()) << what;
        for (const auto& r : all) ASSERT_TRUE(same(response[r.first], r.second)) << what;
        if (c.second > 0) {
          EXPECT_FALSE(expected.empty()) << what;
        }
      }
    }
  }
}
