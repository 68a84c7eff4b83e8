#include "detect/iss_keypoints.h"

#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>

#include "detect/neighbour_grid.h"
#include "detect/parallel_for.h"

namespace Ostrel {
namespace Detect {

namespace {

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

void issKeypoints(const std::vector<float>& xyz, const ISSParameters& parameters,
                  std::vector<int>& keypoints, std::vector<double>& saliency) {
  const int n = static_cast<int>(xyz.size() / 3);
  // Cells of half the salient radius: a search then visits little more than its sphere.
  const NeighbourGrid grid(xyz, parameters.salientRadius / 2);
  const float salientLimit = squaredLimit(parameters.salientRadius);
  const float nonMaxLimit = squaredLimit(parameters.nonMaxRadius);
  saliency.assign(n, 0.0);
  using Found = std::vector<Neighbour>;
  parallelFor<Found>(n, 256, parameters.threads, [&](int i, unsigned, Found& found) {
    grid.within(&xyz[3 * std::size_t(i)], salientLimit, true, found);
    saliency[i] = saliencyOf(scatter(xyz, i, found, parameters.minNeighbors), parameters);
  });
  std::vector<char> isMax(n, 0);
  parallelFor<Found>(n, 256, parameters.threads, [&](int i, unsigned, Found& found) {
    if (!(saliency[i] > 0.0)) return;
    grid.within(&xyz[3 * std::size_t(i)], nonMaxLimit, false, found);
    if (static_cast<int>(found.size()) < parameters.minNeighbors) return;
    isMax[i] = std::none_of(found.begin(), found.end(),
                            [&](Neighbour j) { return saliency[i] < saliency[indexOf(j)]; });
  });
  keypoints.clear();
  for (int i = 0; i < n; ++i) {
    if (isMax[i]) keypoints.push_back(i);
  }
}

}  // namespace Detect
}  // namespace Ostrel
