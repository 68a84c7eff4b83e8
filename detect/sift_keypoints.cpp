#include "detect/sift_keypoints.h"

#include <pcl/filters/voxel_grid.h>
#include <pcl/search/kdtree.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "detect/neighbour_grid.h"
#include "detect/parallel_for.h"
#include "detect/surface_normals.h"

namespace Ostrel {
namespace Detect {

namespace {

using Cloud = pcl::PointCloud<pcl::PointNormal>;

// SIFTKeypoint's neighbourhood of extrema: the 25 nearest points.
constexpr int kNearest = 25;

// The points with their normals and curvatures, as SIFT is given them.
Cloud::Ptr withNormals(const std::vector<float>& xyz, const SIFTParameters& parameters) {
  const pcl::PointCloud<pcl::PointXYZ> cloud = cloudOf(xyz);
  pcl::PointCloud<pcl::Normal> normals;
  surfaceNormals(cloud, NeighbourGrid(xyz, parameters.normalRadius / 2), parameters.normalRadius,
                 parameters.threads, normals);
  Cloud::Ptr result(new Cloud);
  result->resize(cloud.size());
  for (std::size_t i = 0; i < cloud.size(); ++i) {
    pcl::PointNormal& p = (*result)[i];
    p.x = cloud[i].x;
    p.y = cloud[i].y;
    p.z = cloud[i].z;
    p.normal_x = normals[i].normal_x;
    p.normal_y = normals[i].normal_y;
    p.normal_z = normals[i].normal_z;
    p.curvature = normals[i].curvature;
  }
  return result;
}

// The scales of one octave, as SIFTKeypoint computes them.
std::vector<float> scalesOf(float base, int perOctave) {
  std::vector<float> scales(perOctave + 3);
  for (int s = 0; s <= perOctave + 2; ++s) {
    scales[s] =
        base * powf(2.0f, (1.0f * static_cast<float>(s) - 1.0f) / static_cast<float>(perOctave));
  }
  return scales;
}

// The Gaussian-weighted mean curvature at each scale over the sorted neighbours `found`, and the
// differences of adjacent scales into `dog` (one per scale but the first), with SIFTKeypoint's
// float operations in its order.
void differencesAt(const Cloud& cloud, const std::vector<Neighbour>& found,
                   const std::vector<float>& scales, float* dog) {
  float response = 0.0f;
  for (std::size_t s = 0; s < scales.size(); ++s) {
    const float sigmaSquared = powf(scales[s], 2.0f);
    float numerator = 0.0f, denominator = 0.0f;
    for (const Neighbour neighbour : found) {
      const float distance = distanceOf(neighbour);
      if (!(distance <= 9 * sigmaSquared)) break;  // beyond three deviations
      const float w = std::exp(-0.5f * distance / sigmaSquared);
      numerator += cloud[indexOf(neighbour)].curvature * w;
      denominator += w;
    }
    const float previous = response;
    response = numerator / denominator;
    if (s > 0) dog[s - 1] = response - previous;
  }
}

// The difference-of-Gaussians table of an octave's cloud: row i holds point i's values.
std::vector<float> differenceOfGaussians(const Cloud& cloud, const NeighbourGrid& grid,
                                         const std::vector<float>& scales, unsigned threads) {
  const int n = static_cast<int>(cloud.size());
  const std::size_t columns = scales.size() - 1;
  std::vector<float> dog(n * columns);
  // Every neighbour within three deviations of the largest scale.
  const float limit = squaredLimit(3.0f * scales.back());
  using Found = std::vector<Neighbour>;
  parallelFor<Found>(n, 64, threads, [&](int i, unsigned, Found& found) {
    grid.within(cloud[i].data, limit, true, found);
    differencesAt(cloud, found, scales, &dog[i * columns]);
  });
  return dog;
}

// The buffers of one thread's extremum tests.
struct ExtremaScratch {
  std::vector<Neighbour> found;
  pcl::Indices near;
  std::vector<float> distances;
  std::vector<float> low, high;  // per scale, over a neighbourhood
};

// For each scale s the point is an extremum at, SIFTKeypoint's test over its neighbourhood
// `near` (indices): flags[s] is set. `row` is the point's row of the table; `low` and `high`
// are scratch.
void markExtrema(const std::vector<float>& dog, std::size_t columns, const float* row,
                 const pcl::Indices& near, float minContrast, char* flags, std::vector<float>& low,
                 std::vector<float>& high) {
  low.assign(columns, std::numeric_limits<float>::max());
  high.assign(columns, -std::numeric_limits<float>::max());
  for (std::size_t s = 0; s < columns; ++s) {
    for (const int j : near) {
      const float d = dog[j * columns + s];
      low[s] = (std::min)(low[s], d);
      high[s] = (std::max)(high[s], d);
    }
  }
  for (std::size_t s = 1; s + 1 < columns; ++s) {
    const float value = row[s];
    if (!(std::abs(value) >= minContrast)) continue;
    flags[s] = (value == low[s] && value < low[s - 1] && value < low[s + 1]) ||
               (value == high[s] && value > high[s - 1] && value > high[s + 1]);
  }
}

// flags (a row of `columns` per point) marks each point's extrema.
void findExtrema(const Cloud& cloud, const NeighbourGrid& grid, const std::vector<float>& dog,
                 std::size_t columns, const SIFTParameters& parameters, std::vector<char>& flags) {
  const int n = static_cast<int>(cloud.size());
  flags.assign(n * columns, 0);
  std::vector<char> isAmbiguous(n, 0);
  parallelFor<ExtremaScratch>(n, 256, parameters.threads, [&](int i, unsigned, ExtremaScratch& s) {
    grid.nearest(cloud[i].data, kNearest + 1, s.found);
    if (s.found.size() > kNearest &&
        distanceOf(s.found[kNearest - 1]) == distanceOf(s.found.back())) {
      isAmbiguous[i] = 1;
      return;
    }
    s.found.resize(std::min<std::size_t>(s.found.size(), kNearest));
    indicesOf(s.found, s.near);
    markExtrema(dog, columns, &dog[i * columns], s.near, parameters.minContrast,
                &flags[i * columns], s.low, s.high);
  });
  std::vector<int> ambiguous;
  for (int i = 0; i < n; ++i) {
    if (isAmbiguous[i]) ambiguous.push_back(i);
  }
  if (ambiguous.empty()) return;
  pcl::search::KdTree<pcl::PointNormal> tree(true);
  tree.setInputCloud(Cloud::ConstPtr(&cloud, [](const Cloud*) {}));
  const int count = static_cast<int>(ambiguous.size());
  parallelFor<ExtremaScratch>(
      count, 64, parameters.threads, [&](int k, unsigned, ExtremaScratch& s) {
        const int i = ambiguous[k];
        tree.nearestKSearch(i, kNearest, s.near, s.distances);
        markExtrema(dog, columns, &dog[i * columns], s.near, parameters.minContrast,
                    &flags[i * columns], s.low, s.high);
      });
}

// The keypoints of one octave, appended in SIFTKeypoint's order.
void octaveKeypoints(const Cloud& cloud, float base, const SIFTParameters& parameters,
                     std::vector<SIFTKeypoint>& keypoints) {
  const std::vector<float> scales = scalesOf(base, parameters.scalesPerOctave);
  std::vector<float> xyz;
  xyz.reserve(3 * cloud.size());
  for (const pcl::PointNormal& p : cloud) xyz.insert(xyz.end(), {p.x, p.y, p.z});
  const NeighbourGrid grid(xyz, 1.5 * scales.back());
  const std::vector<float> dog = differenceOfGaussians(cloud, grid, scales, parameters.threads);
  const std::size_t columns = scales.size() - 1;
  std::vector<char> flags;
  findExtrema(cloud, grid, dog, columns, parameters, flags);
  for (std::size_t i = 0; i < cloud.size(); ++i) {
    for (std::size_t s = 0; s < columns; ++s) {
      if (!flags[i * columns + s]) continue;
      const pcl::PointNormal& p = cloud[i];
      keypoints.push_back({p.x, p.y, p.z, scales[s], std::abs(dog[i * columns + s])});
    }
  }
}

}  // namespace

void siftKeypoints(const std::vector<float>& xyz, const SIFTParameters& parameters,
                   std::vector<SIFTKeypoint>& keypoints) {
  keypoints.clear();
  Cloud::Ptr cloud = withNormals(xyz, parameters);
  // Each octave downsamples the previous one's cloud with a leaf of its scale, as SIFTKeypoint
  // does, with PCL's own VoxelGrid (whose centroids are its own sums in its own order).
  pcl::VoxelGrid<pcl::PointNormal> voxels;
  float scale = parameters.minScale;
  for (int octave = 0; octave < parameters.octaves; ++octave) {
    voxels.setLeafSize(scale, scale, scale);
    voxels.setInputCloud(cloud);
    Cloud::Ptr smaller(new Cloud);
    voxels.filter(*smaller);
    cloud = smaller;
    if (cloud->size() < kNearest) break;  // SIFTKeypoint stops below 25 points
    octaveKeypoints(*cloud, scale, parameters, keypoints);
    scale *= 2;
  }
}

}  // namespace Detect
}  // namespace Ostrel
