#pragma once
// Fixed-radius and k-nearest neighbour searches over a uniform grid, giving the neighbours PCL's
// kd-tree (FLANN, L2_Simple) gives: the same float squared distances, the same strict
// "< limit" test and, when sorted, the same order (by distance, then index). The detectors that
// must match PCL to the last bit sum over neighbours in that order.

#include <cstdint>
#include <cstring>
#include <vector>

namespace Ostrel {
namespace Detect {

// A neighbour as one sortable number: the squared distance's bits (a float >= 0 orders as its
// bits do) above the point's index, so that sorting the numbers sorts by distance, then index.
using Neighbour = std::uint64_t;

inline int indexOf(Neighbour n) {
  return static_cast<int>(n & 0xffffffffu);
}

inline float distanceOf(Neighbour n) {
  const std::uint32_t bits = static_cast<std::uint32_t>(n >> 32);
  float distance;
  std::memcpy(&distance, &bits, sizeof distance);
  return distance;
}

// The squared-distance limit PCL's kd-tree search uses for `radius`: the double square rounded
// to float.
inline float squaredLimit(double radius) {
  return static_cast<float>(radius * radius);
}

// Points bucketed in cubic cells, each cell's coordinates stored together. A search visits the
// rows of cells its sphere reaches. Cells are stored densely: their side grows for meshes whose
// extent would need more than 512 of them along an axis. The cells are ordered layer by layer
// along the longest axis, so that a caller can work through the points a layer at a time and
// keep only the results of the few layers a search reaches.
class NeighbourGrid {
 public:
  // `xyz`: x y z triples (model units, finite), copied in cell order; `side`: the cell side wanted,
  // in the same units (half the usual search radius visits little more than the sphere).
  NeighbourGrid(const std::vector<float>& xyz, double side);

  // The points whose squared distance to `q` is below `limit` (a point of the grid finds
  // itself), into `found` (replaced). With `sorted`, in the order of PCL's sorted kd-tree
  // results.
  void within(const float* q, float limit, bool sorted, std::vector<Neighbour>& found) const;

  // The `count` points nearest to `q` (all points when there are fewer), sorted by distance,
  // then index, into `found` (replaced).
  void nearest(const float* q, int count, std::vector<Neighbour>& found) const;

  // The number of layers, and the indices of the points of layer `layer` (cell by cell).
  int layers() const { return size_[2]; }
  const int* layerBegin(int layer) const;
  const int* layerEnd(int layer) const;
  // How many layers away from a point's own the points a search below `limit` finds can lie.
  int layerReach(float limit) const;

 private:
  static Neighbour key(float distance, int index);
  double searchRadius(float limit) const;
  float at(const float* p, int dimension) const { return p[axis_[dimension]]; }
  double gap(const float* q, int dimension, int index) const;
  std::int64_t cell(const float* p, int c[3]) const;
  void appendRow(const float* q, std::int64_t row, int x0, int x1,
                 std::vector<Neighbour>& found) const;
  void appendShell(const float* q, const int c[3], int shell, std::vector<Neighbour>& found) const;
  double covered(const float* q, const int c[3], int shell) const;

  // Per dimension of the grid (0: along a row of cells, 2: across layers): the coordinate axis,
  // the smallest coordinate and the number of cells.
  int axis_[3];
  float low_[3];
  int size_[3];
  double side_;
  std::vector<std::int64_t> start_;  // cell c holds members_[start_[c] .. start_[c + 1])
  std::vector<int> members_;         // point indices, cell by cell
  std::vector<float> cellXyz_;       // their coordinates, in the same order
};

}  // namespace Detect
}  // namespace Ostrel
