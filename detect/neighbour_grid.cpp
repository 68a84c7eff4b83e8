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
// distances spread evenly over [0, limit), so as many buckets of equal width as neighbours hold
// about one each (with half as many, ISS on the 1M-vertex bench scene took a fifth longer); the
// bucket of a distance grows with it, so an insertion sort of the bucketed list moves each
// neighbour within its bucket only.
void sortNeighbours(std::vector<Neighbour>& found, float limit) {
  thread_local std::vector<Neighbour> sorted;
  thread_local std::vector<int> start;
  const int buckets = static_cast<int>(found.size()) + 1;
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

}  // namespace

NeighbourGrid::NeighbourGrid(const std::vector<float>& xyz, double side) {
  const std::size_t n = xyz.size() / 3;
  float low[3], high[3];
  for (int a = 0; a < 3; ++a) {
    low[a] = high[a] = n ? xyz[a] : 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
      low[a] = std::min(low[a], xyz[3 * i + a]);
      high[a] = std::max(high[a], xyz[3 * i + a]);
    }
  }
  // Layers across the longest axis: there are the most of them.
  const auto extent = [&](int a) { return double(high[a]) - low[a]; };
  int longest = 2;
  for (int a = 1; a >= 0; --a) longest = extent(a) > extent(longest) ? a : longest;
  for (int d = 0, a = 0; a < 3; ++a)
    if (a != longest) axis_[d++] = a;
  axis_[2] = longest;
  side_ = std::max(side, extent(longest) / kCellsPerAxis);
  if (!(side_ > 0.0)) side_ = 1.0;  // every point at one place: one cell
  for (int d = 0; d < 3; ++d) {
    low_[d] = low[axis_[d]];
    size_[d] = int(extent(axis_[d]) / side_) + 1;
  }
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

void NeighbourGrid::within(const float* q, float limit, bool sorted,
                           std::vector<Neighbour>& found) const {
  found.clear();
  // Cells are skipped only when their box is clearly out of reach.
  const double reach = double(limit) * (1.0 + 1e-5);
  const double radius = searchRadius(limit);
  const auto first = [&](int d, double half) {
    return std::max(int(std::floor((at(q, d) - half - low_[d]) / side_)), 0);
  };
  const auto last = [&](int d, double half) {
    return std::min(int(std::floor((at(q, d) + half - low_[d]) / side_)), size_[d] - 1);
  };
  const std::int64_t* start = start_.data();
  const int* members = members_.data();
  const float* points = cellXyz_.data();
  for (int z = first(2, radius); z <= last(2, radius); ++z) {
    const double dz = gap(q, 2, z);
    for (int y = first(1, radius); y <= last(1, radius); ++y) {
      const double rest = reach - dz * dz - gap(q, 1, y) * gap(q, 1, y);
      if (rest < 0.0) continue;
      const double half = std::sqrt(rest) + kSlack * side_;
      const int x0 = first(0, half), x1 = last(0, half);
      if (x0 > x1) continue;
      const std::int64_t row = (std::int64_t(z) * size_[1] + y) * size_[0];
      for (std::int64_t k = start[row + x0], end = start[row + x1 + 1]; k < end; ++k) {
        const float distance = squaredDistance(q, points + 3 * k);
        if (distance < limit) found.push_back(key(distance, members[k]));
      }
    }
  }
  if (sorted) sortNeighbours(found, limit);
}

void NeighbourGrid::nearest(const float* q, int count, std::vector<Neighbour>& found) const {
  found.clear();
  const std::size_t want = std::min(std::size_t(std::max(count, 0)), members_.size());
  if (want == 0) return;
  int c[3];
  cell(q, c);
  int lastShell = 0;
  for (int d = 0; d < 3; ++d) lastShell = std::max({lastShell, c[d], size_[d] - 1 - c[d]});
  // Shells of cells around q's, until the `want`-th nearest found is nearer than any point of
  // the cells not visited (strictly, so that no point left out ties with it).
  for (int shell = 0; shell <= lastShell; ++shell) {
    appendShell(q, c, shell, found);
    if (found.size() < want || shell == lastShell) continue;
    std::nth_element(found.begin(), found.begin() + (want - 1), found.end());
    const double reach = covered(q, c, shell);
    if (double(distanceOf(found[want - 1])) < reach * reach * (1.0 - 1e-5)) break;
  }
  std::partial_sort(found.begin(), found.begin() + want, found.end());
  found.resize(want);
}

const int* NeighbourGrid::layerBegin(int layer) const {
  return members_.data() + start_[std::size_t(layer) * size_[1] * size_[0]];
}

const int* NeighbourGrid::layerEnd(int layer) const {
  return layerBegin(layer + 1);
}

int NeighbourGrid::layerReach(float limit) const {
  return int(std::ceil(searchRadius(limit) / side_));
}

Neighbour NeighbourGrid::key(float distance, int index) {
  std::uint32_t bits;
  std::memcpy(&bits, &distance, sizeof bits);
  return (Neighbour(bits) << 32) | static_cast<std::uint32_t>(index);
}

// The radius of the box of cells a search below `limit` visits: a little beyond sqrt(limit).
double NeighbourGrid::searchRadius(float limit) const {
  return std::sqrt(double(limit) * (1.0 + 1e-5)) + kSlack * side_;
}

// Distance along dimension `d` from q to cell `index` of that dimension, less a slack; 0 inside
// it.
double NeighbourGrid::gap(const float* q, int d, int index) const {
  const double from = low_[d] + index * side_, to = from + side_;
  return std::max(0.0, std::max(from - at(q, d), at(q, d) - to) - kSlack * side_);
}

std::int64_t NeighbourGrid::cell(const float* p, int c[3]) const {
  for (int d = 0; d < 3; ++d) {
    c[d] = std::max(std::min(int((double(at(p, d)) - low_[d]) / side_), size_[d] - 1), 0);
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
  for (int d = 0; d < 3; ++d) {
    if (c[d] - shell > 0) reach = std::min(reach, at(q, d) - (low_[d] + (c[d] - shell) * side_));
    if (c[d] + shell < size_[d] - 1)
      reach = std::min(reach, low_[d] + (c[d] + shell + 1) * side_ - at(q, d));
  }
  return std::max(0.0, reach - kSlack * side_);
}

}  // namespace Detect
}  // namespace Ostrel
