#include "detect/iss_keypoints.h"

#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

namespace Ostrel {
namespace Detect {

namespace {

// Points bucketed in cubic cells no smaller than the largest search radius, so that a search
// visits the 27 cells around its point. Cells are stored densely: their side grows for meshes
// whose extent would need more than kMaxCells of them.
class Grid {
 public:
  Grid(const std::vector<float>& xyz, double radius) : xyz_(xyz) {
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
    side_ = std::max(radius, extent / kCellsPerAxis);
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
    std::vector<std::int64_t> next(start_.begin(), start_.end() - 1);
    for (std::size_t i = 0; i < n; ++i) members_[next[cellOf[i]]++] = int(i);
  }

  // The points closer than `radius` to point `query` (itself included), as (squared distance,
  // index) sorted as PCL sorts its kd-tree results. Distances are computed as FLANN's L2_Simple
  // computes them, so that the "< radius^2" test keeps exactly the same points.
  void neighbours(int query, double radius, std::vector<std::pair<float, int>>& found) const {
    found.clear();
    const float limit = static_cast<float>(radius * radius);
    const float* q = &xyz_[3 * std::size_t(query)];
    int c[3];
    cell(q, c);
    for (int z = std::max(c[2] - 1, 0); z <= std::min(c[2] + 1, size_[2] - 1); ++z) {
      for (int y = std::max(c[1] - 1, 0); y <= std::min(c[1] + 1, size_[1] - 1); ++y) {
        const std::int64_t row = (std::int64_t(z) * size_[1] + y) * size_[0];
        const int x0 = std::max(c[0] - 1, 0), x1 = std::min(c[0] + 1, size_[0] - 1);
        for (std::int64_t k = start_[row + x0]; k < start_[row + x1 + 1]; ++k) {
          const int j = members_[k];
          const float* p = &xyz_[3 * std::size_t(j)];
          float distance = 0.0f;
          for (int a = 0; a < 3; ++a) {
            const float d = q[a] - p[a];
            distance += d * d;
          }
          if (distance < limit) found.emplace_back(distance, j);
        }
      }
    }
    std::sort(found.begin(), found.end());
  }

 private:
  static constexpr double kCellsPerAxis = 512.0;

  std::int64_t cell(const float* p, int c[3]) const {
    for (int a = 0; a < 3; ++a) {
      c[a] = std::min(int((double(p[a]) - low_[a]) / side_), size_[a] - 1);
    }
    return (std::int64_t(c[2]) * size_[1] + c[1]) * size_[0] + c[0];
  }

  const std::vector<float>& xyz_;
  float low_[3], high_[3];
  double side_;
  int size_[3];
  std::vector<std::int64_t> start_;  // cell c holds members_[start_[c] .. start_[c + 1])
  std::vector<int> members_;
};

// PCL's scatter matrix: the sum, in neighbour order and in double, of the outer products of
// the offsets from the point; zero below the fewest neighbours.
Eigen::Matrix3d scatter(const std::vector<float>& xyz, int index,
                        const std::vector<std::pair<float, int>>& neighbours, int minNeighbors) {
  Eigen::Matrix3d m = Eigen::Matrix3d::Zero();
  if (static_cast<int>(neighbours.size()) < minNeighbors) return m;
  const double centre[3] = {xyz[3 * index], xyz[3 * index + 1], xyz[3 * index + 2]};
  double cov[9] = {};
  for (const auto& neighbour : neighbours) {
    const float* p = &xyz[3 * std::size_t(neighbour.second)];
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
  const Grid grid(xyz, std::max(parameters.salientRadius, parameters.nonMaxRadius));
  saliency.assign(n, 0.0);
#pragma omp parallel num_threads(parameters.threads)
  {
    std::vector<std::pair<float, int>> found;
#pragma omp for schedule(dynamic, 256)
    for (int i = 0; i < n; ++i) {
      grid.neighbours(i, parameters.salientRadius, found);
      saliency[i] = saliencyOf(scatter(xyz, i, found, parameters.minNeighbors), parameters);
    }
  }
  std::vector<char> isMax(n, 0);
#pragma omp parallel num_threads(parameters.threads)
  {
    std::vector<std::pair<float, int>> found;
#pragma omp for schedule(dynamic, 256)
    for (int i = 0; i < n; ++i) {
      if (!(saliency[i] > 0.0)) continue;
      grid.neighbours(i, parameters.nonMaxRadius, found);
      if (static_cast<int>(found.size()) < parameters.minNeighbors) continue;
      isMax[i] = std::none_of(found.begin(), found.end(), [&](const std::pair<float, int>& j) {
        return saliency[i] < saliency[j.second];
      });
    }
  }
  keypoints.clear();
  for (int i = 0; i < n; ++i) {
    if (isMax[i]) keypoints.push_back(i);
  }
}

}  // namespace Detect
}  // namespace Ostrel
