#include "detect/harris_keypoints.h"

#include <pcl/common/eigen.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <utility>

#include "detect/neighbour_grid.h"
#include "detect/parallel_for.h"
#include "detect/surface_normals.h"

namespace Ostrel {
namespace Detect {

namespace {

// How many of the sorted `found` are closer than sqrt(limit): they lead the list.
std::size_t countBelow(const std::vector<Neighbour>& found, float limit) {
  std::size_t count = 0;
  while (count < found.size() && distanceOf(found[count]) < limit) ++count;
  return count;
}

// The mean of n n^T over the finite normals of the neighbours [begin, end), as
// HarrisKeypoint3D::calculateNormalCovar's SSE road computes it (float sums in neighbour order,
// then a division by the count): c[0] xx, c[1] xy, c[2] xz, c[5] yy, c[6] yz, c[7] zz.
void normalCovariance(const pcl::PointCloud<pcl::Normal>& normals, const int* begin, const int* end,
                      float c[8]) {
  float xx = 0.0f, xy = 0.0f, xz = 0.0f, yy = 0.0f, yz = 0.0f, zz = 0.0f;
  unsigned used = 0;
  for (const int* k = begin; k != end; ++k) {
    const pcl::Normal& n = normals[*k];
    if (!std::isfinite(n.normal_x)) continue;
    xx += n.normal_x * n.normal_x;
    xy += n.normal_x * n.normal_y;
    xz += n.normal_x * n.normal_z;
    yy += n.normal_y * n.normal_y;
    yz += n.normal_y * n.normal_z;
    zz += n.normal_z * n.normal_z;
    ++used;
  }
  std::fill_n(c, 8, 0.0f);
  if (used == 0) return;
  const float m = float(used);
  c[0] = xx / m;
  c[1] = xy / m;
  c[2] = xz / m;
  c[5] = yy / m;
  c[6] = yz / m;
  c[7] = zz / m;
}

// The response formulas of HarrisKeypoint3D, written as PCL writes them (same operations in the
// same order); 0 when the trace is 0.
float responseOfCovariance(const float c[8], HarrisMethod method) {
  const float trace = c[0] + c[5] + c[7];
  if (trace == 0) return 0.0f;
  if (method == HarrisMethod::Tomasi) {
    Eigen::Matrix3f covariance;
    covariance.coeffRef(0) = c[0];
    covariance.coeffRef(1) = covariance.coeffRef(3) = c[1];
    covariance.coeffRef(2) = covariance.coeffRef(6) = c[2];
    covariance.coeffRef(4) = c[5];
    covariance.coeffRef(5) = covariance.coeffRef(7) = c[6];
    covariance.coeffRef(8) = c[7];
    EIGEN_ALIGN16 Eigen::Vector3f eigenvalues;
    pcl::eigen33(covariance, eigenvalues);
    return eigenvalues[0];
  }
  const float det = c[0] * c[5] * c[7] + 2.0f * c[1] * c[2] * c[6] - c[2] * c[2] * c[5] -
                    c[1] * c[1] * c[7] - c[6] * c[6] * c[0];
  if (method == HarrisMethod::Noble) return det / trace;
  if (method == HarrisMethod::Lowe) return det / (trace * trace);
  return 0.04f + det - 0.04f * trace * trace;
}

// A point's response from the normals of its neighbours [begin, end); the curvature method takes
// the point's own normal's `curvature`.
float responseOf(const pcl::PointCloud<pcl::Normal>& normals, const int* begin, const int* end,
                 HarrisMethod method, float curvature) {
  if (method == HarrisMethod::Curvature) return curvature;
  float c[8];
  normalCovariance(normals, begin, end, c);
  return responseOfCovariance(c, method);
}

// HarrisKeypoint3D's suppression: a finite response of at least `threshold` that no neighbour's
// exceeds. The list is sorted by distance, so a greater neighbour is usually met early.
bool isMaximum(const std::vector<float>& response, int i, const int* begin, const int* end,
               float threshold) {
  const float r = response[i];
  if (!std::isfinite(r) || r < threshold) return false;
  return std::none_of(begin, end, [&](int j) { return r < response[j]; });
}

// The neighbour lists of the points of a few bands of layers. Each thread writes the lists of a
// band into blocks of its own, each list whole in one block; when the band's slot is taken by a
// later band, its blocks go back to a shared pool. The memory held is then about that of the
// lists of the bands in the slots.
class BandLists {
 public:
  BandLists(int points, int slots, int threads)
      : spans_(points), parts_(slots, std::vector<Part>(threads)) {}

  // Hands the blocks of every thread's part of `slot` back to the pool.
  void clear(int slot) {
    const std::lock_guard<std::mutex> lock(poolMutex_);
    for (Part& part : parts_[slot]) {
      for (std::vector<int>& block : part.blocks) pool_.push_back(std::move(block));
      part.blocks.clear();
    }
  }

  // Keeps the first `count` of `found` as point i's list.
  void store(int i, int slot, int thread, const std::vector<Neighbour>& found, std::size_t count) {
    Part& part = parts_[slot][thread];
    if (part.blocks.empty() || part.fill + count > part.blocks.back().size()) {
      part.blocks.push_back(take(count));
      part.fill = 0;
    }
    int* list = part.blocks.back().data() + part.fill;
    for (std::size_t k = 0; k < count; ++k) list[k] = indexOf(found[k]);
    spans_[i] = {list, list + count};
    part.fill += count;
  }

  const int* begin(int i) const { return spans_[i].first; }
  const int* end(int i) const { return spans_[i].second; }

 private:
  static constexpr std::size_t kBlock = 1 << 16;  // ints: a few hundred lists

  struct Part {
    std::vector<std::vector<int>> blocks;
    std::size_t fill = 0;  // ints used in the last block
  };

  // A block from the pool, or a new one, of at least `count` ints.
  std::vector<int> take(std::size_t count) {
    {
      const std::lock_guard<std::mutex> lock(poolMutex_);
      if (!pool_.empty() && pool_.back().size() >= count) {
        std::vector<int> block = std::move(pool_.back());
        pool_.pop_back();
        return block;
      }
    }
    return std::vector<int>(std::max(kBlock, count));
  }

  std::vector<std::pair<const int*, const int*>> spans_;
  std::vector<std::vector<Part>> parts_;  // slot, thread
  std::vector<std::vector<int>> pool_;
  std::mutex poolMutex_;
};

// The points of a band of layers of the grid: [first, last) of its member indices.
struct Band {
  const int* first;
  const int* last;
  int size() const { return static_cast<int>(last - first); }
};

Band bandOf(const NeighbourGrid& grid, int band, int layersPerBand) {
  const int layers = grid.layers();
  if (band < 0 || band * layersPerBand >= layers) return {nullptr, nullptr};
  const int end = std::min((band + 1) * layersPerBand, layers);
  return {grid.layerBegin(band * layersPerBand), grid.layerEnd(end - 1)};
}

}  // namespace

void harrisKeypoints(const std::vector<float>& xyz, const HarrisParameters& parameters,
                     std::vector<int>& keypoints, std::vector<float>& response) {
  const int n = static_cast<int>(xyz.size() / 3);
  const pcl::PointCloud<pcl::PointXYZ> cloud = cloudOf(xyz);
  const NeighbourGrid grid(xyz, parameters.radius / 2);
  // PCL's normals search with the radius given; its response and suppression with the radius
  // rounded to float.
  const float normalLimit = squaredLimit(parameters.radius);
  const float harrisLimit = squaredLimit(static_cast<float>(parameters.radius));
  const float limit = std::max(normalLimit, harrisLimit);
  pcl::PointCloud<pcl::Normal> normals;
  normals.resize(cloud.size());
  response.assign(n, 0.0f);
  std::vector<char> isMax(n, 0);
  // One sorted search per point serves its normal, its response and its suppression. The grid's
  // layers are taken in bands as thick as a search reaches; at step s, one parallel loop finds
  // the lists and normals of band s, the responses of band s - 2 (whose neighbours' normals were
  // all known at step s - 1) and the suppression in band s - 4 (whose neighbours' responses were
  // all known at step s - 1). Lists are kept for the five bands from s - 4 to s only: on the
  // 1M-vertex bench scene, thicker bands (fewer steps) held a quarter more memory for no speed.
  // Each step starts its threads anew (150 steps there): a few milliseconds against seconds of
  // searches, and the steps are kept apart without a barrier.
  const int perBand = grid.layerReach(limit);
  const int bands = (grid.layers() + perBand - 1) / perBand, slots = 5;
  const unsigned threads = std::max(1u, parameters.threads);
  BandLists lists(n, slots, int(threads));
  struct Scratch {
    std::vector<Neighbour> found;
    pcl::Indices indices;
  };
  for (int step = 0; step < bands + 4; ++step) {
    const Band search = bandOf(grid, step, perBand), respond = bandOf(grid, step - 2, perBand),
               suppress = bandOf(grid, step - 4, perBand);
    const int slot = step % slots;
    lists.clear(slot);  // band s - 5's, done with at step s - 1
    const int work = search.size() + respond.size() + suppress.size();
    parallelFor<Scratch>(work, 64, threads, [&](int k, unsigned thread, Scratch& s) {
      if (k < search.size()) {
        const int i = search.first[k];
        grid.within(cloud[i].data, limit, true, s.found);
        lists.store(i, slot, int(thread), s.found, countBelow(s.found, harrisLimit));
        s.found.resize(countBelow(s.found, normalLimit));
        indicesOf(s.found, s.indices);
        normalFromNeighbours(cloud, i, s.indices, normals[i]);
      } else if (k < search.size() + respond.size()) {
        const int i = respond.first[k - search.size()];
        response[i] = responseOf(normals, lists.begin(i), lists.end(i), parameters.method,
                                 normals[i].curvature);
      } else {
        const int i = suppress.first[k - search.size() - respond.size()];
        isMax[i] = isMaximum(response, i, lists.begin(i), lists.end(i), parameters.threshold);
      }
    });
  }
  keypoints.clear();
  for (int i = 0; i < n; ++i) {
    if (isMax[i]) keypoints.push_back(i);
  }
}

}  // namespace Detect
}  // namespace Ostrel
