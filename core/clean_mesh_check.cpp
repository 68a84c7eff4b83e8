#include "core/clean_mesh_check.h"

#include <vtkAOSDataArrayTemplate.h>
#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkDataArray.h>
#include <vtkFieldData.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkTypeInt64Array.h>

#include <algorithm>
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
    if (array == nullptr || !array->HasStandardMemoryLayout() ||
        array->GetNumberOfTuples() != mesh->GetNumberOfPoints()) {
      return false;
    }
  }
  return data->GetGlobalIds() == nullptr && data->GetPedigreeIds() == nullptr;
}

bool HasNoOtherData(vtkPolyData* mesh) {
  return mesh->GetCellData()->GetNumberOfArrays() == 0 &&
         (mesh->GetFieldData() == nullptr || mesh->GetFieldData()->GetNumberOfArrays() == 0);
}

bool AllDistinct(const vtkTypeInt64* ids, vtkIdType count) {
  for (vtkIdType a = 0; a < count; ++a) {
    for (vtkIdType b = a + 1; b < count; ++b) {
      if (ids[a] == ids[b]) return false;
    }
  }
  return true;
}

// The filter numbers points by their first use in the cell list and drops unused ones; it keeps
// a polygon as it is when its ids are distinct and there are at least three. Fills `newIds`
// with that numbering (left empty when it is the identity); false when a polygon would change
// or a point is unused.
bool FirstUseNumbering(vtkCellArray* polys, vtkIdType pointCount, std::vector<vtkIdType>& newIds) {
  if (!polys->IsStorage64Bit()) return false;
  const auto* offsets = polys->GetOffsetsArray64()->GetPointer(0);
  const auto* ids = polys->GetConnectivityArray64()->GetPointer(0);
  const vtkIdType cells = polys->GetNumberOfCells();
  vtkIdType nextNew = 0;
  bool identity = true;
  newIds.clear();
  for (vtkIdType cell = 0; cell < cells; ++cell) {
    const vtkIdType begin = offsets[cell], count = offsets[cell + 1] - begin;
    if (count < 3 || count > kMaxCheckedPolygon || !AllDistinct(ids + begin, count)) return false;
    for (vtkIdType k = begin; k < begin + count; ++k) {
      const vtkIdType id = ids[k];
      if (id < 0 || id >= pointCount) return false;
      if (identity && id == nextNew) {
        ++nextNew;
      } else if (identity && id < nextNew) {
        continue;
      } else {
        if (identity) {  // first id out of order: from here on the map is written out
          identity = false;
          newIds.assign(pointCount, -1);
          for (vtkIdType seen = 0; seen < nextNew; ++seen) newIds[seen] = seen;
        }
        if (newIds[id] < 0) newIds[id] = nextNew++;
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
  // Each slot holds a point id (low half) and 32 bits of its hash (high half), so a probe
  // touches the point itself only when the hashes agree; hashes are computed a batch ahead so
  // the slots can be fetched before they are needed.
  constexpr std::uint64_t kEmpty = UINT64_MAX;
  constexpr vtkIdType kBatch = 16;
  std::size_t slots = 16;
  while (slots < 2 * std::size_t(count)) slots *= 2;
  const std::size_t mask = slots - 1;
  std::vector<std::uint64_t> table(slots, kEmpty);
  std::uint64_t hashes[kBatch];
  for (vtkIdType first = 0; first < count; first += kBatch) {
    const vtkIdType end = std::min(count, first + kBatch);
    for (vtkIdType i = first; i < end; ++i) {
      const T* p = xyz + 3 * i;
      if (std::isnan(p[0]) || std::isnan(p[1]) || std::isnan(p[2])) return false;
      hashes[i - first] = HashOf(p);
      __builtin_prefetch(&table[hashes[i - first] & mask]);
    }
    for (vtkIdType i = first; i < end; ++i) {
      const std::uint64_t hash = hashes[i - first], tag = hash >> 32;
      std::size_t slot = hash & mask;
      for (; table[slot] != kEmpty; slot = (slot + 1) & mask) {
        if ((table[slot] >> 32) != tag) continue;
        const T* p = xyz + 3 * i;
        const T* q = xyz + 3 * (table[slot] & UINT32_MAX);
        if (p[0] == q[0] && p[1] == q[1] && p[2] == q[2]) return false;
      }
      table[slot] = (tag << 32) | std::uint64_t(i);
    }
  }
  return true;
}

bool PointsDistinct(vtkPoints* points) {
  const vtkIdType count = points->GetNumberOfPoints();
  if (count >= vtkIdType(UINT32_MAX)) return false;  // ids must fit the slots' low half
  vtkDataArray* data = points->GetData();
  if (auto* floats = vtkAOSDataArrayTemplate<float>::FastDownCast(data)) {
    return AllPositionsDistinct(floats->GetPointer(0), count);
  }
  if (auto* doubles = vtkAOSDataArrayTemplate<double>::FastDownCast(data)) {
    return AllPositionsDistinct(doubles->GetPointer(0), count);
  }
  return false;
}

// Tuple `old` of `from` moves to tuple newIds[old] of a new array of the same kind; arrays have
// standard memory layout (checked before).
vtkSmartPointer<vtkDataArray> Permuted(vtkDataArray* from, const std::vector<vtkIdType>& newIds) {
  vtkSmartPointer<vtkDataArray> to;
  to.TakeReference(from->NewInstance());
  to->SetName(from->GetName());
  to->SetNumberOfComponents(from->GetNumberOfComponents());
  to->SetNumberOfTuples(from->GetNumberOfTuples());
  const std::size_t tupleBytes =
      std::size_t(from->GetNumberOfComponents()) * from->GetDataTypeSize();
  const auto* source = static_cast<const unsigned char*>(from->GetVoidPointer(0));
  auto* target = static_cast<unsigned char*>(to->GetVoidPointer(0));
  for (std::size_t old = 0; old < newIds.size(); ++old) {
    std::memcpy(target + tupleBytes * newIds[old], source + tupleBytes * old, tupleBytes);
  }
  return to;
}

// What the filter does to a clean mesh whose points are not numbered by first use: points and
// point data in the new order, cell ids mapped. New arrays, as the filter's output has.
void Renumber(vtkPolyData* mesh, const std::vector<vtkIdType>& newIds) {
  auto points = vtkSmartPointer<vtkPoints>::New();
  points->SetData(Permuted(mesh->GetPoints()->GetData(), newIds));
  mesh->SetPoints(points);

  vtkPointData* data = mesh->GetPointData();
  auto renumbered = vtkSmartPointer<vtkPointData>::New();
  renumbered->CopyAllocate(data, vtkIdType(newIds.size()));
  for (int i = 0; i < data->GetNumberOfArrays(); ++i) {
    vtkDataArray* from = data->GetArray(i);
    vtkDataArray* to = renumbered->GetArray(from->GetName());
    if (to != nullptr) to->DeepCopy(Permuted(from, newIds));
  }
  data->ShallowCopy(renumbered);

  vtkCellArray* polys = mesh->GetPolys();
  // Cell sizes do not change: the new cell list shares the offsets.
  vtkTypeInt64Array* offsets = polys->GetOffsetsArray64();
  auto connectivity = vtkSmartPointer<vtkTypeInt64Array>::New();
  const vtkTypeInt64Array* oldIds = polys->GetConnectivityArray64();
  connectivity->SetNumberOfValues(oldIds->GetNumberOfValues());
  const vtkTypeInt64* from = polys->GetConnectivityArray64()->GetPointer(0);
  vtkTypeInt64* to = connectivity->GetPointer(0);
  for (vtkIdType k = 0; k < connectivity->GetNumberOfValues(); ++k) to[k] = newIds[from[k]];
  auto cells = vtkSmartPointer<vtkCellArray>::New();
  cells->SetData(offsets, connectivity);
  mesh->SetPolys(cells);
  mesh->DeleteCells();
  mesh->Modified();
}

}  // namespace

bool CleanWithoutFilter(vtkPolyData* mesh) {
  if (mesh == nullptr || mesh->GetPoints() == nullptr || mesh->GetNumberOfPoints() == 0) {
    return false;
  }
  std::vector<vtkIdType> newIds;
  if (!HasOnlyPolygons(mesh) || !HasNoOtherData(mesh) || !HasPlainPointData(mesh) ||
      !FirstUseNumbering(mesh->GetPolys(), mesh->GetNumberOfPoints(), newIds) ||
      !PointsDistinct(mesh->GetPoints())) {
    return false;
  }
  if (!newIds.empty()) Renumber(mesh, newIds);
  return true;
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
