#include "core/point_grid.h"

#include <vtkAOSDataArrayTemplate.h>
#include <vtkDataArray.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Ostrel {
namespace Core {
namespace Impl {

namespace {

constexpr std::size_t kMaxIds = std::numeric_limits<std::uint32_t>::max();

bool IsFinite(const double xyz[3]) {
  return std::isfinite(xyz[0]) && std::isfinite(xyz[1]) && std::isfinite(xyz[2]);
}

bool IsFinite(const float xyz[3]) {
  return std::isfinite(xyz[0]) && std::isfinite(xyz[1]) && std::isfinite(xyz[2]);
}

// How far, along one axis, from query coordinate `q` a point can lie and still pass
// SquaredDistance(point, query) <= squaredRadius. Passing means fl(dx * dx) <= V, so
// |x - q| <= sqrt(V) (1 + 4u) + 2^-536 with u = 2^-53 (the last term covers subnormal
// squares); the relative 2^-30 and the |q| 2^-48 terms exceed that bound plus the rounding of
// q -/+ reach, which is what the cell range is computed from.
double Reach(double squaredRadius, double q) {
  return std::sqrt(squaredRadius) * (1.0 + 0x1p-30) + 0x1p-500 + std::fabs(q) * 0x1p-48;
}

}  // namespace

PointGrid::PointGrid(vtkPolyData* mesh, double cellSize) {
  if (mesh == nullptr || mesh->GetPoints() == nullptr || mesh->GetNumberOfPoints() <= 0) return;
  if (!Index(mesh->GetPoints()->GetData(), cellSize)) *this = PointGrid();
}

bool PointGrid::Index(vtkDataArray* coordinates, double cellSize) {
  if (coordinates == nullptr || coordinates->GetNumberOfComponents() != 3) return false;
  storage_ = coordinates;
  pointCount_ = std::size_t(coordinates->GetNumberOfTuples());
  if (auto* floats = vtkAOSDataArrayTemplate<float>::FastDownCast(coordinates)) {
    floats_ = floats->GetPointer(0);
  } else if (auto* doubles = vtkAOSDataArrayTemplate<double>::FastDownCast(coordinates)) {
    doubles_ = doubles->GetPointer(0);
  } else {
    converted_.resize(3 * pointCount_);
    for (std::size_t id = 0; id < pointCount_; ++id)
      coordinates->GetTuple(vtkIdType(id), &converted_[3 * id]);
    doubles_ = converted_.data();
  }
  std::fill(min_, min_ + 3, std::numeric_limits<double>::infinity());
  std::fill(max_, max_ + 3, -std::numeric_limits<double>::infinity());
  for (std::size_t id = 0; id < pointCount_; ++id) {
    double xyz[3];
    ReadPoint(id, xyz);
    if (!IsFinite(xyz)) continue;
    ++finiteCount_;
    for (int a = 0; a < 3; ++a) {
      min_[a] = std::min(min_[a], xyz[a]);
      max_[a] = std::max(max_[a], xyz[a]);
    }
  }
  if (finiteCount_ == 0) return false;
  const double extent[3] = {max_[0] - min_[0], max_[1] - min_[1], max_[2] - min_[2]};
  ChooseCells(extent, cellSize);
  Fill();
  return true;
}

void PointGrid::ChooseCells(const double extent[3], double cellSize) {
  const double widest = std::max({extent[0], extent[1], extent[2]});
  if (!std::isfinite(widest) || pointCount_ >= kMaxIds) {
    // Bounds too far apart for cells, or more points than 32-bit ids: one cell of every point.
    cellSize_ = std::numeric_limits<double>::infinity();
    inverseCellSize_ = 0;
    std::fill(dims_, dims_ + 3, 1);
    return;
  }
  const double cap = double(finiteCount_);
  auto cellCount = [&](double size) {
    double cells = 1;
    for (int a = 0; a < 3; ++a) cells *= std::floor(extent[a] / size) + 1;
    return cells;
  };
  if (!(cellSize > 0) || !std::isfinite(cellCount(cellSize)))
    cellSize = widest > 0 ? widest / std::cbrt(cap) : 1.0;
  // Grows to about the cap at once, then by steps for what rounding left over.
  for (double cells; (cells = cellCount(cellSize)) > cap;)
    cellSize *= std::max(1.0625, std::cbrt(cells / cap));
  cellSize_ = cellSize;
  inverseCellSize_ = 1.0 / cellSize;
  for (int a = 0; a < 3; ++a) dims_[a] = std::size_t(std::floor(extent[a] / cellSize)) + 1;
}

void PointGrid::Fill() {
  if (pointCount_ >= kMaxIds) return;  // one implicit cell of every point
  const std::size_t cells = dims_[0] * dims_[1] * dims_[2];
  // Counting sort: counts, their prefix sums as cell ends, then every id placed from the back,
  // so that each cell lists its ids in increasing order.
  std::vector<std::uint32_t> cellOf(pointCount_);
  cellStart_.assign(cells + 1, 0);
  for (std::size_t id = 0; id < pointCount_; ++id) {
    double xyz[3];
    ReadPoint(id, xyz);
    if (!IsFinite(xyz)) {
      cellOf[id] = std::uint32_t(cells);  // in no cell
      continue;
    }
    const std::size_t cell =
        (AxisCell(xyz[2], 2) * dims_[1] + AxisCell(xyz[1], 1)) * dims_[0] + AxisCell(xyz[0], 0);
    cellOf[id] = std::uint32_t(cell);
    ++cellStart_[cell];
  }
  std::uint32_t end = 0;
  for (std::size_t cell = 0; cell < cells; ++cell) cellStart_[cell] = end += cellStart_[cell];
  cellStart_[cells] = end;
  ids_.resize(finiteCount_);
  for (std::size_t id = pointCount_; id-- > 0;) {
    if (cellOf[id] < cells) ids_[--cellStart_[cellOf[id]]] = std::uint32_t(id);
  }
}

void PointGrid::ReadPoint(std::size_t id, double xyz[3]) const {
  if (floats_ != nullptr) {
    const float* p = floats_ + 3 * id;
    xyz[0] = p[0];
    xyz[1] = p[1];
    xyz[2] = p[2];
  } else {
    const double* p = doubles_ + 3 * id;
    xyz[0] = p[0];
    xyz[1] = p[1];
    xyz[2] = p[2];
  }
}

std::size_t PointGrid::AxisCell(double coordinate, int axis) const {
  // Subtraction, multiplication by a positive number, rounding down and clamping are all
  // monotone, so a coordinate below another never lands in a later cell. (Above 0 the
  // conversion rounds down, without a call to floor.)
  const double cell = (coordinate - min_[axis]) * inverseCellSize_;
  if (!(cell > 0)) return 0;
  return cell < double(dims_[axis] - 1) ? std::size_t(cell) : dims_[axis] - 1;
}

bool PointGrid::RowHasNearPoint(std::size_t first, std::size_t last, const float query[3],
                                double squaredRadius) const {
  for (std::size_t k = first; k < last; ++k) {
    double xyz[3];
    ReadPoint(ids_.empty() ? k : ids_[k], xyz);
    if (SquaredDistance(xyz, query) <= squaredRadius) return true;
  }
  return false;
}

bool PointGrid::NearestWithin(const float query[3], double squaredRadius) const {
  if (finiteCount_ == 0 || !IsFinite(query)) return false;
  // A NaN or infinite radius is passed by the nearest point; no distance is below a negative.
  if (!(squaredRadius < std::numeric_limits<double>::infinity())) return true;
  if (squaredRadius < 0) return false;
  if (ids_.empty()) return RowHasNearPoint(0, pointCount_, query, squaredRadius);
  std::size_t from[3], to[3], own[3];
  for (int a = 0; a < 3; ++a) {
    const double reach = Reach(squaredRadius, query[a]);
    const double low = double(query[a]) - reach, high = double(query[a]) + reach;
    if (low > max_[a] || high < min_[a]) return false;
    from[a] = AxisCell(low, a);
    to[a] = AxisCell(high, a);
    own[a] = AxisCell(query[a], a);
  }
  // The query's own cell first: a point near enough is most often there.
  const std::size_t cell = (own[2] * dims_[1] + own[1]) * dims_[0] + own[0];
  if (RowHasNearPoint(cellStart_[cell], cellStart_[cell + 1], query, squaredRadius)) return true;
  // The cells of one row (fixed y and z) hold consecutive ids_ entries: one range per row.
  for (std::size_t z = from[2]; z <= to[2]; ++z) {
    for (std::size_t y = from[1]; y <= to[1]; ++y) {
      const std::size_t row = (z * dims_[1] + y) * dims_[0];
      if (RowHasNearPoint(cellStart_[row + from[0]], cellStart_[row + to[0] + 1], query,
                          squaredRadius))
        return true;
    }
  }
  return false;
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
