#include "core/mesh_resolution.h"

#include <vtkCellArray.h>
#include <vtkDataArray.h>
#include <vtkDoubleArray.h>
#include <vtkFloatArray.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <cmath>
#include <cstdint>

namespace Ostrel {
namespace Core {
namespace Impl {

namespace {

// Reads point coordinates as doubles straight from packed float or double storage, falling
// back to the points' own accessor for any other type.
class PointReader {
 public:
  explicit PointReader(vtkPoints* points)
      : points_(points),
        count_(points->GetNumberOfPoints()),
        floats_(ValuesOf<vtkFloatArray>(points)),
        doubles_(ValuesOf<vtkDoubleArray>(points)) {}

  vtkIdType Count() const { return count_; }
  // The packed float coordinates, or null when the storage is of another type.
  const float* Floats() const { return floats_; }

  void Read(vtkIdType id, double xyz[3]) const {
    if (floats_ != nullptr) {
      const float* p = floats_ + 3 * id;
      xyz[0] = p[0];
      xyz[1] = p[1];
      xyz[2] = p[2];
    } else if (doubles_ != nullptr) {
      const double* p = doubles_ + 3 * id;
      xyz[0] = p[0];
      xyz[1] = p[1];
      xyz[2] = p[2];
    } else {
      points_->GetPoint(id, xyz);
    }
  }

 private:
  template <typename ArrayType>
  static const typename ArrayType::ValueType* ValuesOf(vtkPoints* points) {
    auto* values = ArrayType::SafeDownCast(points->GetData());
    return values != nullptr && values->GetNumberOfComponents() == 3 ? values->GetPointer(0)
                                                                     : nullptr;
  }

  vtkPoints* points_;
  vtkIdType count_;
  const float* floats_;
  const double* doubles_;
};

struct EdgeSum {
  double sum = 0.0;
  std::int64_t edges = 0;  // 64 bits: a 32-bit count would overflow on huge meshes
};

double EdgeLength(const double a[3], const double b[3]) {
  const double dx = a[0] - b[0];
  const double dy = a[1] - b[1];
  const double dz = a[2] - b[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Point ids are used as their low 32 bits.
template <typename Id>
int LowIdBits(Id id) {
  return static_cast<int>(static_cast<std::uint32_t>(id));
}

// A polygon naming a point the mesh does not have is left out whole, so a broken cell list
// never makes us read outside the points.
template <typename Id>
bool AllIdsValid(const Id* ids, int n, vtkIdType pointCount) {
  for (int j = 0; j < n; ++j) {
    const int id = LowIdBits(ids[j]);
    if (id < 0 || id >= pointCount) {
      return false;
    }
  }
  return true;
}

// Adds the edges of one polygon, closed on itself, in corner order.
template <typename Id>
void AddPolygon(const Id* ids, int n, const PointReader& points, EdgeSum& total) {
  if (n <= 0 || !AllIdsValid(ids, n, points.Count())) {
    return;
  }
  double from[3];
  double to[3];
  points.Read(LowIdBits(ids[0]), from);
  for (int j = 0; j < n; ++j) {
    points.Read(LowIdBits(ids[(j + 1) % n]), to);
    total.sum += EdgeLength(from, to);
    from[0] = to[0];
    from[1] = to[1];
    from[2] = to[2];
  }
  total.edges += n;
}

double FloatEdgeLength(const float* a, const float* b) {
  const double from[3] = {a[0], a[1], a[2]};
  const double to[3] = {b[0], b[1], b[2]};
  return EdgeLength(from, to);
}

// AddPolygon for a triangle over float points, the layout of the meshes a run reads, without
// its general loop: the same lengths added in the same order, so the same sum to the last bit.
template <typename Id>
void AddFloatTriangle(const Id* ids, const float* xyz, vtkIdType pointCount, EdgeSum& total) {
  if (!AllIdsValid(ids, 3, pointCount)) {
    return;
  }
  const float* a = xyz + 3 * std::int64_t(LowIdBits(ids[0]));
  const float* b = xyz + 3 * std::int64_t(LowIdBits(ids[1]));
  const float* c = xyz + 3 * std::int64_t(LowIdBits(ids[2]));
  const double ab = FloatEdgeLength(a, b);
  const double bc = FloatEdgeLength(b, c);
  const double ca = FloatEdgeLength(c, a);
  total.sum += ab;
  total.sum += bc;
  total.sum += ca;
  total.edges += 3;
}

// Walks the raw offsets/connectivity arrays of the cell list (far faster than GetCell).
struct PolygonEdgeWalker {
  template <typename CellState>
  void operator()(CellState& state, const PointReader& points, EdgeSum& total) const {
    const auto* offsets = state.GetOffsets()->GetPointer(0);
    const auto* connectivity = state.GetConnectivity()->GetPointer(0);
    const vtkIdType cellCount = state.GetNumberOfCells();
    const float* floats = points.Floats();
    for (vtkIdType cell = 0; cell < cellCount; ++cell) {
      const int n = static_cast<int>(offsets[cell + 1] - offsets[cell]);
      if (n == 3 && floats != nullptr) {
        AddFloatTriangle(connectivity + offsets[cell], floats, points.Count(), total);
      } else {
        AddPolygon(connectivity + offsets[cell], n, points, total);
      }
    }
  }
};

}  // namespace

double compute_mesh_resolution(vtkPolyData* mesh) {
  if (mesh == nullptr || mesh->GetPoints() == nullptr) {
    return 0.0;
  }
  vtkCellArray* polygons = mesh->GetPolys();
  if (polygons == nullptr || polygons->GetNumberOfCells() == 0) {
    return 0.0;
  }
  const PointReader points(mesh->GetPoints());
  EdgeSum total;
  polygons->Visit(PolygonEdgeWalker{}, points, total);
  if (total.edges != 0) {
    total.sum /= static_cast<double>(total.edges);
  }
  return total.sum;
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
