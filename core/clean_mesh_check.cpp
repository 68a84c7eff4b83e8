#include "core/clean_mesh_check.h"

#include <vtkAOSDataArrayTemplate.h>
#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkDataArray.h>
#include <vtkFieldData.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace Ostrel {
namespace Core {
namespace Impl {
namespace {

// Longest polygon whose ids are compared pairwise; longer ones are left to the filter.
constexpr vtkIdType kMaxCheckedPolygon = 16;

bool HasOnlyPolygons(vtkPolyData* mesh) {
  return mesh->GetNumberOfVerts() == 0 && mesh->GetNumberOfLines() == 0 &&
         mesh->GetNumberOfStrips() == 0 && mesh->GetNumberOfPolys() > 0;
}

// Point data the filter copies tuple by tuple into arrays of the same kind; anything else (ids
// with their own copy rules, non-numeric arrays) is left to the filter.
bool HasPlainPointData(vtkPolyData* mesh) {
  vtkPointData* data = mesh->GetPointData();
  for (int i = 0; i < data->GetNumberOfArrays(); ++i) {
    vtkDataArray* array = data->GetArray(i);
    if (array == nullptr || array->GetNumberOfTuples() != mesh->GetNumberOfPoints()) return false;
  }
  return data->GetGlobalIds() == nullptr && data->GetPedigreeIds() == nullptr;
}

bool HasNoOtherData(vtkPolyData* mesh) {
  return mesh->GetCellData()->GetNumberOfArrays() == 0 &&
         (mesh->GetFieldData() == nullptr || mesh->GetFieldData()->GetNumberOfArrays() == 0);
}

bool AllDistinct(const vtkIdType* ids, vtkIdType count) {
  for (vtkIdType a = 0; a < count; ++a) {
    for (vtkIdType b = a + 1; b < count; ++b) {
      if (ids[a] == ids[b]) return false;
    }
  }
  return true;
}

// The filter numbers points by their first use in the cell list and drops unused ones; it keeps
// a polygon as it is when its ids are distinct and there are at least three.
bool CellsKeepNumbering(vtkCellArray* polys, vtkIdType pointCount) {
  if (!polys->IsStorage64Bit()) return false;
  const auto* offsets = polys->GetOffsetsArray64()->GetPointer(0);
  const auto* ids =
      reinterpret_cast<const vtkIdType*>(polys->GetConnectivityArray64()->GetPointer(0));
  const vtkIdType cells = polys->GetNumberOfCells();
  vtkIdType nextNew = 0;
  for (vtkIdType cell = 0; cell < cells; ++cell) {
    const vtkIdType begin = offsets[cell], count = offsets[cell + 1] - begin;
    if (count < 3 || count > kMaxCheckedPolygon || !AllDistinct(ids + begin, count)) return false;
    for (vtkIdType k = begin; k < begin + count; ++k) {
      if (ids[k] == nextNew) {
        ++nextNew;
      } else if (ids[k] > nextNew || ids[k] < 0) {
        return false;
      }
    }
  }
  return nextNew == pointCount;
}

template <class T>
std::uint64_t HashOf(const T* xyz) {
  std::uint64_t hash = 0x9E3779B97F4A7C15ull;
  for (int k = 0; k < 3; ++k) {
    const T value = xyz[k] == T(0) ? T(0) : xyz[k];  // one hash for -0 and 0
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof value);
    hash = (hash ^ bits) * 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 29;
  }
  return hash;
}

// The filter's exact merge compares coordinates with ==, so -0 and 0 are one position.
// False when two points share a position or a coordinate is NaN (which the merge never
// matches, but which leaves its outcome to the locator's bucket search).
template <class T>
bool AllPositionsDistinct(const T* xyz, vtkIdType count) {
  std::size_t slots = 16;
  while (slots < 2 * std::size_t(count)) slots *= 2;
  std::vector<std::uint32_t> table(slots, UINT32_MAX);
  for (vtkIdType i = 0; i < count; ++i) {
    const T* p = xyz + 3 * i;
    if (std::isnan(p[0]) || std::isnan(p[1]) || std::isnan(p[2])) return false;
    std::size_t slot = HashOf(p) & (slots - 1);
    while (table[slot] != UINT32_MAX) {
      const T* q = xyz + 3 * std::size_t(table[slot]);
      if (p[0] == q[0] && p[1] == q[1] && p[2] == q[2]) return false;
      slot = (slot + 1) & (slots - 1);
    }
    table[slot] = std::uint32_t(i);
  }
  return true;
}

bool PointsDistinct(vtkPoints* points) {
  const vtkIdType count = points->GetNumberOfPoints();
  if (count >= vtkIdType(UINT32_MAX)) return false;
  vtkDataArray* data = points->GetData();
  if (auto* floats = vtkAOSDataArrayTemplate<float>::FastDownCast(data)) {
    return AllPositionsDistinct(floats->GetPointer(0), count);
  }
  if (auto* doubles = vtkAOSDataArrayTemplate<double>::FastDownCast(data)) {
    return AllPositionsDistinct(doubles->GetPointer(0), count);
  }
  return false;
}

}  // namespace

bool IsAlreadyClean(vtkPolyData* mesh) {
  if (mesh == nullptr || mesh->GetPoints() == nullptr || mesh->GetNumberOfPoints() == 0) {
    return false;
  }
  return HasOnlyPolygons(mesh) && HasNoOtherData(mesh) && HasPlainPointData(mesh) &&
         CellsKeepNumbering(mesh->GetPolys(), mesh->GetNumberOfPoints()) &&
         PointsDistinct(mesh->GetPoints());
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
