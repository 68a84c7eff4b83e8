#include "detect/neighbour_grid.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Ostrel {
namespace Detect {

namespace {

constexpr double kCellsPerAxis = 512.0;

// Slack, in cell sides, by which a cell is taken as reachable although it is just out of reach:
// it covers the rounding of float distances and of the cell a point was put in.
constexpr double kSlack = 1e-6;

// Squared distance as FLANN's L2_Simple computes it: query minus point, summed in float.
float squaredDistance(const float* q, const float* p) {
  float distance = 0.0f;
  for (int a = 0; a < 3; ++a) {
    const float d = q[a] - p[a];
    distance += d * d;
  }
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
    return std::min(int(DistanceOf(n) * scale), buckets - 1);
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

}  // namespace

NeighbourGrid::NeighbourGrid(const std::vector<float>& xyz, double side) {
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
  if (!(side_ > 0.0)) side_ = 1.0;  // every point at one place: one cell
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

void NeighbourGrid::Within(const float* q, float limit, bool sorted,
                           std::vector<Neighbour>& found) const {
  found.clear();
  // Cells are skipped only when their box is clearly out of reach.
  const double reach = double(limit) * (1.0 + 1e-5);
  const double radius = std::sqrt(reach) + kSlack * side_;
  const auto first = [&](int a) {
    return std::max(int(std::floor((q[a] - radius - low_[a]) / side_)), 0);
  };
  const auto last = [&](int a) {
    return std::min(int(std::floor((q[a] + radius - low_[a]) / side_)), size_[a] - 1);
  };
  for (int z = first(2); z <= last(2); ++z) {
    const double dz = gap(q, 2, z);
    for (int y = first(1); y <= last(1); ++y) {
      const double rest = reach - dz * dz - gap(q, 1, y) * gap(q, 1, y);
      if (rest < 0.0) continue;
      const double half = std::sqrt(rest) + kSlack * side_;
      const int x0 = std::max(int(std::floor((q[0] - half - low_[0]) / side_)), 0);
      const int x1 = std::min(int(std::floor((q[0] + half - low_[0]) / side_)), size_[0] - 1);
      if (x0 > x1) continue;
      const std::int64_t row = (std::int64_t(z) * size_[1] + y) * size_[0];
      for (std::int64_t k = start_[row + x0]; k < start_[row + x1 + 1]; ++k) {
        const float distance = squaredDistance(q, &cellXyz_[3 * k]);
        if (distance < limit) found.push_back(key(distance, members_[k]));
      }
    }
  }
  if (sorted) sortNeighbours(found, limit);
}

void NeighbourGrid::Nearest(const float* q, int count, std::vector<Neighbour>& found) const {
  found.clear();
  const std::size_t want = std::min(std::size_t(std::max(count, 0)), members_.size());
  if (want == 0) return;
  int c[3];
  cell(q, c);
  int lastShell = 0;
  for (int a = 0; a < 3; ++a) lastShell = std::max({lastShell, c[a], size_[a] - 1 - c[a]});
  // Shells of cells around q's, until the `want`-th nearest found is nearer than any point of
  // the cells not visited (strictly, so that no point left out ties with it).
  for (int shell = 0; shell <= lastShell; ++shell) {
    appendShell(q, c, shell, found);
    if (found.size() < want || shell == lastShell) continue;
    std::nth_element(found.begin(), found.begin() + (want - 1), found.end());
    const double reach = covered(q, c, shell);
    if (double(DistanceOf(found[want - 1])) < reach * reach * (1.0 - 1e-5)) break;
  }
  std::partial_sort(found.begin(), found.begin() + want, found.end());
  found.resize(want);
}

Neighbour NeighbourGrid::key(float distance, int index) {
  std::uint32_t bits;
  std::memcpy(&bits, &distance, sizeof bits);
  return (Neighbour(bits) << 32) | static_cast<std::uint32_t>(index);
}

// Distance along `axis` from q to cell `index` of that axis, less a slack; 0 inside it.
double NeighbourGrid::gap(const float* q, int axis, int index) const {
  const double from = low_[axis] + index * side_, to = from + side_;
  return std::max(0.0, std::max(from - q[axis], q[axis] - to) - kSlack * side_);
}

std::int64_t NeighbourGrid::cell(const float* p, int c[3]) const {
  for (int a = 0; a < 3; ++a) {
    c[a] = std::max(std::min(int((double(p[a]) - low_[a]) / side_), size_[a] - 1), 0);
  }
  return (std::int64_t(c[2]) * size_[1] + c[1]) * size_[0] + c[0];
}

void NeighbourGrid::appendRow(const float* q, std::int64_t row, int x0, int x1,
                              std::vector<Neighbour>& found) const {
  for (std::int64_t k = start_[row + x0]; k < start_[row + x1 + 1]; ++k) {
    found.push_back(key(squaredDistance(q, &cellXyz_[3 * k]), members_[k]));
  }
}

// The cells at Chebyshev distance `shell` from cell c.
void NeighbourGrid::appendShell(const float* q, const int c[3], int shell,
                                std::vector<Neighbour>& found) const {
  const int x0 = std::max(c[0] - shell, 0), x1 = std::min(c[0] + shell, size_[0] - 1);
  for (int z = std::max(c[2] - shell, 0); z <= std::min(c[2] + shell, size_[2] - 1); ++z) {
    for (int y = std::max(c[1] - shell, 0); y <= std::min(c[1] + shell, size_[1] - 1); ++y) {
      const std::int64_t row = (std::int64_t(z) * size_[1] + y) * size_[0];
      if (std::abs(z - c[2]) == shell || std::abs(y - c[1]) == shell) {
        appendRow(q, row, x0, x1, found);
        continue;
      }
      if (c[0] - shell >= 0) appendRow(q, row, c[0] - shell, c[0] - shell, found);
      if (c[0] + shell < size_[0]) appendRow(q, row, c[0] + shell, c[0] + shell, found);
    }
  }
}

// A distance from q within which every point lies in the cells up to `shell` from cell c (the
// grid's border bounds nothing: no point lies beyond it).
double NeighbourGrid::covered(const float* q, const int c[3], int shell) const {
  double reach = std::numeric_limits<double>::infinity();
  for (int a = 0; a < 3; ++a) {
    if (c[a] - shell > 0) reach = std::min(reach, q[a] - (low_[a] + (c[a] - shell) * side_));
    if (c[a] + shell < size_[a] - 1)
      reach = std::min(reach, low_[a] + (c[a] + shell + 1) * side_ - q[a]);
  }
  return std::max(0.0, reach - kSlack * side_);
}

}  // namespace Detect
}  // namespace Ostrel
