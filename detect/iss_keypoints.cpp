#include "detect/iss_keypoints.h"

#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

namespace Ostrel {
namespace Detect {

namespace {

// A neighbour as one sortable number: the squared distance's bits (a float >= 0 orders as its
// bits do) above the point's index, so that sorting the numbers sorts by distance, then index.
using Neighbour = std::uint64_t;
int indexOf(Neighbour n) {
  return static_cast<int>(n & 0xffffffffu);
}

float distanceOf(Neighbour n) {
  const std::uint32_t bits = static_cast<std::uint32_t>(n >> 32);
  float distance;
  std::memcpy(&distance, &bits, sizeof distance);
  return distance;
}

// Sorts neighbours closer than sqrt(limit) in linear expected time: on a surface the squared
// distances spread evenly over [0, limit), so buckets of equal width hold a few each; the
// bucket of a distance grows with it, so an insertion sort of the bucketed list moves each
// neighbour within its bucket only.
void sortNeighbours(std::vector<Neighbour>& found, float limit) {
  thread_local std::vector<Neighbour> sorted;
  thread_local std::vector<int> start;
  const int buckets = static_cast<int>(found.size()) / 2 + 1;
  const float scale = buckets / limit;
  if (!std::isfinite(scale)) {  // a radius so small that its square is not a normal float
    std::sort(found.begin(), found.end());
    return;
  }
  const auto bucketOf = [&](Neighbour n) {
    return std::min(int(distanceOf(n) * scale), buckets - 1);
  };
  start.assign(buckets + 1, 0);
  for (const Neighbour n : found) ++start[bucketOf(n) + 1];
  for (int b = 0; b < buckets; ++b) start[b + 1] += start[b];
  sorted.resize(found.size());
  for (const Neighbour n : found) sorted[start[bucketOf(n)]++] = n;
  for (std::size_t k = 1; k < sorted.size(); ++k) {  // insertion sort: each bucket is short
    const Neighbour n = sorted[k];
    std::size_t j = k;
    for (; j > 0 && n < sorted[j - 1]; --j) sorted[j] = sorted[j - 1];
    sorted[j] = n;
  }
  found.swap(sorted);
}

// Points bucketed in cubic cells, each cell's coordinates stored together. A search visits the
// rows of cells its sphere reaches. Cells are stored densely: their side grows for meshes whose
// extent would need more than kCellsPerAxis^3 of them.
class Grid {
 public:
  Grid(const std::vector<float>& xyz, double side) {
    const std::size_t n = xyz.size() / 3;
    for (int a = 0; a < 3; ++a) {
      low_[a] = high_[a] = n ? xyz[a] : 0.0f;
      for (std::size_t i = 0; i < n; ++i) {
        low_[a] = std::min(low_[a], xyz[3 * i + a]);
        high_[a] = std::max(high_[a], xyz[3 * i + a]);
      }
    }
    double extent = 0.0;
    for (int a = 0; a < 3; ++a) extent = std::max(extent, double(high_[a]) - low_[a]);
    side_ = std::max(side, extent / kCellsPerAxis);
    for (int a = 0; a < 3; ++a) size_[a] = int((double(high_[a]) - low_[a]) / side_) + 1;
    start_.assign(std::size_t(size_[0]) * size_[1] * size_[2] + 1, 0);
    std::vector<std::int64_t> cellOf(n);
    for (std::size_t i = 0; i < n; ++i) {
      int c[3];
      cellOf[i] = cell(&xyz[3 * i], c);
      ++start_[cellOf[i] + 1];
    }
    for (std::size_t c = 1; c < start_.size(); ++c) start_[c] += start_[c - 1];
    members_.resize(n);
    cellXyz_.resize(3 * n);
    std::vector<std::int64_t> next(start_.begin(), start_.end() - 1);
    for (std::size_t i = 0; i < n; ++i) {
      const std::int64_t k = next[cellOf[i]]++;
      members_[k] = int(i);
      std::copy(&xyz[3 * i], &xyz[3 * i + 3], &cellXyz_[3 * k]);
    }
  }

  // The points closer than `radius` to `q` (a point of the grid finds itself), with the squared
  // distances computed as FLANN's L2_Simple computes them, so that the "< radius^2" test keeps
  // exactly PCL's points. With `sorted`, in the order of PCL's sorted kd-tree results.
  void neighbours(const float* q, double radius, bool sorted, std::vector<Neighbour>& found) const {
    found.clear();
    const float limit = static_cast<float>(radius * radius);
    // Cells are skipped only when their box is clearly out of reach: the slack covers the
    // rounding of float distances and of the cell a point was put in.
    const double reach = radius * radius * (1.0 + 1e-5);
    const int span = int(std::ceil(radius / side_));
    int c[3];
    cell(q, c);
    for (int z = std::max(c[2] - span, 0); z <= std::min(c[2] + span, size_[2] - 1); ++z) {
      const double dz = gap(q, 2, z);
      for (int y = std::max(c[1] - span, 0); y <= std::min(c[1] + span, size_[1] - 1); ++y) {
        const double rest = reach - dz * dz - gap(q, 1, y) * gap(q, 1, y);
        if (rest < 0.0) continue;
        const double half = std::sqrt(rest) + 1e-6 * side_;
        const int x0 = std::max(int(std::floor((q[0] - half - low_[0]) / side_)), 0);
        const int x1 = std::min(int((q[0] + half - low_[0]) / side_), size_[0] - 1);
        if (x0 > x1) continue;
        const std::int64_t row = (std::int64_t(z) * size_[1] + y) * size_[0];
        for (std::int64_t k = start_[row + x0]; k < start_[row + x1 + 1]; ++k) {
          const float* p = &cellXyz_[3 * k];
          float distance = 0.0f;
          for (int a = 0; a < 3; ++a) {
            const float d = q[a] - p[a];
            distance += d * d;
          }
          if (distance < limit) found.push_back(key(distance, members_[k]));
        }
      }
    }
    if (sorted) sortNeighbours(found, limit);
  }

 private:
  static constexpr double kCellsPerAxis = 512.0;

  static Neighbour key(float distance, int index) {
    std::uint32_t bits;
    std::memcpy(&bits, &distance, sizeof bits);
    return (Neighbour(bits) << 32) | static_cast<std::uint32_t>(index);
  }

  // Distance along `axis` from q to cell `index` of that axis, less a slack; 0 inside it.
  double gap(const float* q, int axis, int index) const {
    const double from = low_[axis] + index * side_, to = from + side_;
    return std::max(0.0, std::max(from - q[axis], q[axis] - to) - 1e-6 * side_);
  }

  std::int64_t cell(const float* p, int c[3]) const {
    for (int a = 0; a < 3; ++a) {
      c[a] = std::min(int((double(p[a]) - low_[a]) / side_), size_[a] - 1);
    }
    return (std::int64_t(c[2]) * size_[1] + c[1]) * size_[0] + c[0];
  }

  float low_[3], high_[3];
  double side_;
  int size_[3];
  std::vector<std::int64_t> start_;  // cell c holds members_[start_[c] .. start_[c + 1])
  std::vector<int> members_;         // point indices, cell by cell
  std::vector<float> cellXyz_;       // their coordinates, in the same order
};

// PCL's scatter matrix: the sum, in neighbour order and in double, of the outer products of
// the offsets from the point; zero below the fewest neighbours.
Eigen::Matrix3d scatter(const std::vector<float>& xyz, int index,
                        const std::vector<Neighbour>& neighbours, int minNeighbors) {
  Eigen::Matrix3d m = Eigen::Matrix3d::Zero();
  if (static_cast<int>(neighbours.size()) < minNeighbors) return m;
  const double centre[3] = {xyz[3 * index], xyz[3 * index + 1], xyz[3 * index + 2]};
  double cov[9] = {};
  for (const auto& neighbour : neighbours) {
    const float* p = &xyz[3 * std::size_t(indexOf(neighbour))];
    const double point[3] = {p[0], p[1], p[2]};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) cov[i * 3 + j] += (point[i] - centre[i]) * (point[j] - centre[j]);
    }
  }
  m << cov[0], cov[1], cov[2], cov[3], cov[4], cov[5], cov[6], cov[7], cov[8];
  return m;
}

// The third eigenvalue when the point passes both ratio tests, else 0 (not a candidate).
double saliencyOf(const Eigen::Matrix3d& scatterMatrix, const ISSParameters& p) {
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver(scatterMatrix);
  const double e1 = solver.eigenvalues()[2], e2 = solver.eigenvalues()[1],
               e3 = solver.eigenvalues()[0];
  if (!std::isfinite(e1) || !std::isfinite(e2) || !std::isfinite(e3) || e3 < 0) return 0.0;
  return (e2 / e1 < p.gamma21 && e3 / e2 < p.gamma32) ? e3 : 0.0;
}

}  // namespace

void ISSKeypoints(const std::vector<float>& xyz, const ISSParameters& parameters,
                  std::vector<int>& keypoints, std::vector<double>& saliency) {
  const int n = static_cast<int>(xyz.size() / 3);
  // Cells of half the salient radius: a search then visits little more than its sphere.
  const Grid grid(xyz, parameters.salientRadius / 2);
  saliency.assign(n, 0.0);
#pragma omp parallel num_threads(parameters.threads)
  {
    std::vector<Neighbour> found;
#pragma omp for schedule(dynamic, 256)
    for (int i = 0; i < n; ++i) {
      grid.neighbours(&xyz[3 * std::size_t(i)], parameters.salientRadius, true, found);
      saliency[i] = saliencyOf(scatter(xyz, i, found, parameters.minNeighbors), parameters);
    }
  }
  std::vector<char> isMax(n, 0);
#pragma omp parallel num_threads(parameters.threads)
  {
    std::vector<Neighbour> found;
#pragma omp for schedule(dynamic, 256)
    for (int i = 0; i < n; ++i) {
      if (!(saliency[i] > 0.0)) continue;
      grid.neighbours(&xyz[3 * std::size_t(i)], parameters.nonMaxRadius, false, found);
      if (static_cast<int>(found.size()) < parameters.minNeighbors) continue;
      isMax[i] = std::none_of(found.begin(), found.end(),
                              [&](Neighbour j) { return saliency[i] < saliency[indexOf(j)]; });
    }
  }
  keypoints.clear();
  for (int i = 0; i < n; ++i) {
    if (isMax[i]) keypoints.push_back(i);
  }
}

}  // namespace Detect
}  // namespace Ostrel
