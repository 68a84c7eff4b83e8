#include "core/clean_mesh_check.h"

#include <vtkAOSDataArrayTemplate.h>
#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkDataArray.h>
#include <vtkDataSetAttributes.h>
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
#include <numeric>
#include <vector>

namespace Ostrel {
namespace Core {
namespace Impl {
namespace {

// Longest polygon whose ids are compared pairwise; longer ones are left to the filter.
constexpr vtkIdType kMaxCheckedPolygon = 16;

// Point ids in the maps below: 32 bits (meshes of 2^32 - 1 points or more go to the filter),
// which halves the maps' memory next to the mesh.
using PointIndex = std::uint32_t;
constexpr PointIndex kUnused = UINT32_MAX;

bool HasOnlyPolygons(vtkPolyData* mesh) {
  return mesh->GetNumberOfVerts() == 0 && mesh->GetNumberOfLines() == 0 &&
         mesh->GetNumberOfStrips() == 0 && mesh->GetNumberOfPolys() > 0;
}

// Arrays the filter copies tuple by tuple into arrays of the same kind, found again by name;
// anything else (ids with their own copy rules, non-numeric or unnamed arrays) is left to it.
bool HasPlainArrays(vtkDataSetAttributes* data, vtkIdType tuples) {
  for (int i = 0; i < data->GetNumberOfArrays(); ++i) {
    vtkDataArray* array = data->GetArray(i);
    if (array == nullptr || array->GetName() == nullptr || !array->HasStandardMemoryLayout() ||
        array->GetNumberOfTuples() != tuples) {
      return false;
    }
  }
  return data->GetGlobalIds() == nullptr && data->GetPedigreeIds() == nullptr;
}

bool HasPlainData(vtkPolyData* mesh) {
  return (mesh->GetFieldData() == nullptr || mesh->GetFieldData()->GetNumberOfArrays() == 0) &&
         HasPlainArrays(mesh->GetPointData(), mesh->GetNumberOfPoints()) &&
         HasPlainArrays(mesh->GetCellData(), mesh->GetNumberOfCells());
}

bool AllDistinct(const vtkTypeInt64* ids, vtkIdType count) {
  for (vtkIdType a = 0; a < count; ++a) {
    for (vtkIdType b = a + 1; b < count; ++b) {
      if (ids[a] == ids[b]) return false;
    }
  }
  return true;
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

// The filter's exact merge compares coordinates with ==, so -0 and 0 are one position. Sets
// sameAs[i] to the lowest-numbered point at point i's position, leaving `sameAs` empty when all
// positions differ. False when a coordinate is NaN (which the merge never matches, but which
// leaves its outcome to the locator's bucket search).
template <class T>
bool FindExactCopies(const T* xyz, vtkIdType count, std::vector<PointIndex>& sameAs) {
  // Each slot holds a point id (low half) and 32 bits of its hash (high half), so a probe
  // touches the point itself only when the hashes agree; hashes are computed a batch ahead so
  // the slots can be fetched before they are needed. Copies are not entered.
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
      const T* p = xyz + 3 * i;
      std::size_t slot = hash & mask;
      for (; table[slot] != kEmpty; slot = (slot + 1) & mask) {
        if ((table[slot] >> 32) != tag) continue;
        const vtkIdType earlier = vtkIdType(table[slot] & UINT32_MAX);
        const T* q = xyz + 3 * earlier;
        if (p[0] == q[0] && p[1] == q[1] && p[2] == q[2]) break;
      }
      if (table[slot] == kEmpty) {
        table[slot] = (tag << 32) | std::uint64_t(i);
      } else {
        if (sameAs.empty()) {
          sameAs.resize(count);
          std::iota(sameAs.begin(), sameAs.end(), PointIndex(0));
        }
        sameAs[i] = PointIndex(table[slot] & UINT32_MAX);
      }
    }
  }
  return true;
}

bool FindExactCopies(vtkPoints* points, std::vector<PointIndex>& sameAs) {
  const vtkIdType count = points->GetNumberOfPoints();
  if (count >= vtkIdType(UINT32_MAX)) return false;  // ids must fit the slots' low half
  vtkDataArray* data = points->GetData();
  if (auto* floats = vtkAOSDataArrayTemplate<float>::FastDownCast(data)) {
    return FindExactCopies(floats->GetPointer(0), count, sameAs);
  }
  if (auto* doubles = vtkAOSDataArrayTemplate<double>::FastDownCast(data)) {
    return FindExactCopies(doubles->GetPointer(0), count, sameAs);
  }
  return false;
}

// The filter's numbering: a point gets the next new id when its position is first met in the
// cell list; later points at that position, and unused points, get none of their own.
struct Numbering {
  std::vector<PointIndex> newIds;  // new id of each old point (kUnused); empty: unchanged
  std::vector<PointIndex> source;  // old point each new point is copied from (first use)
  vtkIdType collapsedCells = 0;    // polygons that repeat an id once merged
  vtkIdType collapsedIds = 0;      // the ids those polygons hold
};

// Leaves the identity shortcut: the map is written out for the ids numbered so far.
void StartMap(vtkIdType pointCount, vtkIdType numbered, Numbering& out) {
  out.newIds.assign(pointCount, kUnused);
  std::iota(out.newIds.begin(), out.newIds.begin() + numbered, PointIndex(0));
  out.source.reserve(pointCount);
  out.source.resize(numbered);
  std::iota(out.source.begin(), out.source.end(), PointIndex(0));
}

// NumberByFirstUse's step for a triangle once the identity shortcut is left, the common cell,
// without the general loop; `sameAs` null when all positions differ. False when an id is out
// of range.
bool NumberTriangle(const vtkTypeInt64* ids, vtkIdType pointCount, const PointIndex* sameAs,
                    vtkIdType& next, Numbering& out) {
  PointIndex merged[3];
  for (int k = 0; k < 3; ++k) {
    const vtkTypeInt64 id = ids[k];
    if (std::uint64_t(id) >= std::uint64_t(pointCount)) return false;
    PointIndex& newId = out.newIds[sameAs != nullptr ? sameAs[id] : PointIndex(id)];
    if (newId == kUnused) {
      newId = PointIndex(next++);
      out.source.push_back(PointIndex(id));
    }
    merged[k] = newId;
  }
  if (merged[0] == merged[1] || merged[1] == merged[2] || merged[0] == merged[2]) {
    ++out.collapsedCells;
    out.collapsedIds += 3;
  }
  return true;
}

// False when a polygon has fewer than three ids or more than kMaxCheckedPolygon, an id is out
// of range, or a polygon of more than three ids would lose one.
bool NumberByFirstUse(vtkCellArray* polys, vtkIdType pointCount,
                      const std::vector<PointIndex>& sameAs, Numbering& out) {
  if (!polys->IsStorage64Bit()) return false;
  const auto* offsets = polys->GetOffsetsArray64()->GetPointer(0);
  const auto* ids = polys->GetConnectivityArray64()->GetPointer(0);
  const vtkIdType cells = polys->GetNumberOfCells();
  vtkIdType next = 0;
  bool identity = sameAs.empty();  // new id == old id so far
  if (!identity) StartMap(pointCount, 0, out);
  const PointIndex* copies = sameAs.empty() ? nullptr : sameAs.data();
  vtkTypeInt64 merged[kMaxCheckedPolygon];
  for (vtkIdType cell = 0; cell < cells; ++cell) {
    const vtkIdType begin = offsets[cell], count = offsets[cell + 1] - begin;
    if (!identity && count == 3) {
      if (!NumberTriangle(ids + begin, pointCount, copies, next, out)) return false;
      continue;
    }
    if (count < 3 || count > kMaxCheckedPolygon) return false;
    for (vtkIdType k = 0; k < count; ++k) {
      const vtkIdType id = ids[begin + k];
      if (id < 0 || id >= pointCount) return false;
      if (identity) {
        if (id == next) ++next;
        if (id < next) {
          merged[k] = id;
          continue;
        }
        identity = false;
        StartMap(pointCount, next, out);
      }
      const PointIndex at = sameAs.empty() ? PointIndex(id) : sameAs[id];
      if (out.newIds[at] == kUnused) {
        out.newIds[at] = PointIndex(next++);
        out.source.push_back(PointIndex(id));
      }
      merged[k] = out.newIds[at];
    }
    if (!AllDistinct(merged, count)) {
      if (count > 3) return false;
      ++out.collapsedCells;
      out.collapsedIds += count;
    }
  }
  if (identity && next < pointCount) StartMap(pointCount, next, out);
  // Copies take their first point's new id, so cells map through newIds alone.
  for (std::size_t id = 0; id < sameAs.size(); ++id) {
    if (sameAs[id] != id) out.newIds[id] = out.newIds[sameAs[id]];
  }
  return true;
}

template <std::size_t kBytes, class Index>
void GatherFixed(const unsigned char* in, unsigned char* out, const std::vector<Index>& source) {
  for (std::size_t k = 0; k < source.size(); ++k) {
    std::memcpy(out + kBytes * k, in + kBytes * source[k], kBytes);
  }
}

// Copies tuple source[k] of `from` into tuple k of `to`, an array of the same kind; both have
// standard memory layout. The usual tuple sizes get a copy of known size (no call per tuple).
template <class Index>
void GatherTuples(vtkDataArray* from, vtkDataArray* to, const std::vector<Index>& source) {
  to->SetNumberOfComponents(from->GetNumberOfComponents());
  to->SetNumberOfTuples(vtkIdType(source.size()));
  const std::size_t tupleBytes =
      std::size_t(from->GetNumberOfComponents()) * from->GetDataTypeSize();
  const auto* in = static_cast<const unsigned char*>(from->GetVoidPointer(0));
  auto* out = static_cast<unsigned char*>(to->GetVoidPointer(0));
  switch (tupleBytes) {
    case 3:
      return GatherFixed<3>(in, out, source);  // rgb
    case 4:
      return GatherFixed<4>(in, out, source);  // rgba, one float
    case 8:
      return GatherFixed<8>(in, out, source);  // one double
    case 12:
      return GatherFixed<12>(in, out, source);  // float xyz, normals
    case 24:
      return GatherFixed<24>(in, out, source);  // double xyz
  }
  for (std::size_t k = 0; k < source.size(); ++k) {
    std::memcpy(out + tupleBytes * k, in + tupleBytes * source[k], tupleBytes);
  }
}

// The arrays and attribute roles the filter's output gets (it allocates them from the input's
// with CopyAllocate), tuple k taken from tuple source[k]. New arrays, as the filter makes.
template <class Index>
void GatherAttributes(vtkDataSetAttributes* data, const std::vector<Index>& source) {
  vtkSmartPointer<vtkDataSetAttributes> gathered;
  gathered.TakeReference(data->NewInstance());
  gathered->CopyAllocate(data, vtkIdType(source.size()));
  for (int i = 0; i < data->GetNumberOfArrays(); ++i) {
    vtkDataArray* from = data->GetArray(i);
    if (vtkDataArray* to = gathered->GetArray(from->GetName())) GatherTuples(from, to, source);
  }
  data->ShallowCopy(gathered);
}

void GatherPoints(vtkPolyData* mesh, const std::vector<PointIndex>& source) {
  vtkDataArray* from = mesh->GetPoints()->GetData();
  vtkSmartPointer<vtkDataArray> to;
  to.TakeReference(from->NewInstance());
  to->SetName(from->GetName());
  GatherTuples(from, to, source);
  auto points = vtkSmartPointer<vtkPoints>::New();
  points->SetData(to);
  mesh->SetPoints(points);
}

vtkSmartPointer<vtkTypeInt64Array> Int64Array(vtkIdType size) {
  auto array = vtkSmartPointer<vtkTypeInt64Array>::New();
  array->SetNumberOfValues(size);
  return array;
}

vtkSmartPointer<vtkCellArray> CellArray(vtkTypeInt64Array* offsets, vtkTypeInt64Array* ids) {
  auto cells = vtkSmartPointer<vtkCellArray>::New();
  cells->SetData(offsets, ids);
  return cells;
}

// A few short cells (collapsed polygons) and the input cell each comes from.
struct ShortCells {
  std::vector<vtkTypeInt64> ids;
  std::vector<vtkIdType> source;
  vtkSmartPointer<vtkCellArray> Array(vtkIdType size) const {
    auto offsets = Int64Array(vtkIdType(source.size()) + 1);
    for (vtkIdType k = 0; k <= vtkIdType(source.size()); ++k) offsets->SetValue(k, k * size);
    auto list = Int64Array(vtkIdType(ids.size()));
    std::copy(ids.begin(), ids.end(), list->GetPointer(0));
    return CellArray(offsets, list);
  }
};

// No polygon collapses: the cells keep their sizes and their ids are mapped, unless the
// numbering is unchanged. Ids that only this mesh holds (a loaded mesh's) are mapped in place,
// which spares a second array of 8 bytes per corner and its page faults; shared ones are
// left alone for their other holders, and the mesh gets a new list sharing the offsets.
void MapIds(vtkPolyData* mesh, const std::vector<PointIndex>& newIds) {
  if (newIds.empty()) return;
  vtkCellArray* polys = mesh->GetPolys();
  vtkTypeInt64Array* oldIds = polys->GetConnectivityArray64();
  const vtkIdType idCount = oldIds->GetNumberOfValues();
  const bool ownIds = polys->GetReferenceCount() == 1 && oldIds->GetReferenceCount() == 1;
  vtkSmartPointer<vtkTypeInt64Array> connectivity = oldIds;
  if (!ownIds) connectivity = Int64Array(idCount);
  const vtkTypeInt64* ids = oldIds->GetPointer(0);
  vtkTypeInt64* out = connectivity->GetPointer(0);
  for (vtkIdType k = 0; k < idCount; ++k) out[k] = newIds[ids[k]];
  connectivity->Modified();
  mesh->SetPolys(CellArray(polys->GetOffsetsArray64(), connectivity));
}

// Some polygons collapse: a polygon that repeats an id once merged loses its repeated corners
// (an id equal to the one before it, and the last when it equals the first) and becomes a line
// or a vertex as `rules` allow, or nothing. Only triangles collapse (see NumberByFirstUse).
// Fills `cellSource`, when given, with the input cell of every output cell: vertices, lines,
// polygons. As in MapIds, lists only this mesh holds are compacted in place (the kept polygons
// never overtake the ones still to be read).
void SplitCollapsed(vtkPolyData* mesh, const Numbering& numbering, const CollapseRules& rules,
                    std::vector<vtkIdType>* cellSource) {
  vtkCellArray* polys = mesh->GetPolys();
  vtkSmartPointer<vtkTypeInt64Array> newOffsets = polys->GetOffsetsArray64();
  vtkSmartPointer<vtkTypeInt64Array> newConnectivity = polys->GetConnectivityArray64();
  const auto* offsets = newOffsets->GetPointer(0);
  const auto* ids = newConnectivity->GetPointer(0);
  const vtkIdType cells = polys->GetNumberOfCells();
  const vtkIdType keptCells = cells - numbering.collapsedCells;
  const vtkIdType keptIds = polys->GetNumberOfConnectivityIds() - numbering.collapsedIds;
  // Counted with the two smart pointers above.
  const bool ownLists = polys->GetReferenceCount() == 1 && newOffsets->GetReferenceCount() == 2 &&
                        newConnectivity->GetReferenceCount() == 2;
  if (!ownLists) {
    newOffsets = Int64Array(keptCells + 1);
    newConnectivity = Int64Array(keptIds);
  }
  const std::vector<PointIndex>& newIds = numbering.newIds;
  vtkTypeInt64* outOffsets = newOffsets->GetPointer(0);
  vtkTypeInt64* out = newConnectivity->GetPointer(0);
  ShortCells verts, lines;
  std::vector<vtkIdType> polySource;
  vtkIdType kept = 0, written = 0;
  vtkIdType begin = offsets[0];  // read before the slot can be rewritten
  outOffsets[0] = 0;
  for (vtkIdType cell = 0; cell < cells; ++cell) {
    const vtkIdType end = offsets[cell + 1];
    vtkTypeInt64 merged[kMaxCheckedPolygon];
    vtkIdType count = 0;
    for (vtkIdType k = begin; k < end; ++k) {
      const vtkTypeInt64 id = newIds.empty() ? ids[k] : vtkTypeInt64(newIds[ids[k]]);
      if (count == 0 || id != merged[count - 1]) merged[count++] = id;
    }
    if (count > 1 && merged[0] == merged[count - 1]) --count;
    if (count == end - begin) {
      if (count == 3) {  // a triangle: copied without the library call the loop would become
        out[written] = merged[0];
        out[written + 1] = merged[1];
        out[written + 2] = merged[2];
        written += 3;
      } else {
        for (vtkIdType k = 0; k < count; ++k) out[written++] = merged[k];
      }
      outOffsets[++kept] = written;
      if (cellSource != nullptr) polySource.push_back(cell);
    } else if (count == 2 && rules.polysToLines) {
      lines.ids.insert(lines.ids.end(), merged, merged + 2);
      lines.source.push_back(cell);
    } else if (count == 1 && rules.linesToPoints) {
      verts.ids.push_back(merged[0]);
      verts.source.push_back(cell);
    }
    begin = end;
  }
  newOffsets->SetNumberOfValues(keptCells + 1);  // in place: shortens, keeps the buffer
  newConnectivity->SetNumberOfValues(keptIds);
  newOffsets->Modified();
  newConnectivity->Modified();
  mesh->SetVerts(verts.Array(1));
  mesh->SetLines(lines.Array(2));
  mesh->SetPolys(CellArray(newOffsets, newConnectivity));
  if (cellSource != nullptr) {
    *cellSource = verts.source;
    cellSource->insert(cellSource->end(), lines.source.begin(), lines.source.end());
    cellSource->insert(cellSource->end(), polySource.begin(), polySource.end());
  }
}

// The filter's output cells, ids mapped through `numbering`, and its cell data, which follows
// the cells.
void BuildCells(vtkPolyData* mesh, const Numbering& numbering, const CollapseRules& rules) {
  const bool withCellData = mesh->GetCellData()->GetNumberOfArrays() > 0;
  std::vector<vtkIdType> cellSource;
  if (numbering.collapsedCells == 0) {
    MapIds(mesh, numbering.newIds);
    if (withCellData) {
      cellSource.resize(mesh->GetNumberOfCells());
      std::iota(cellSource.begin(), cellSource.end(), vtkIdType(0));
    }
  } else {
    SplitCollapsed(mesh, numbering, rules, withCellData ? &cellSource : nullptr);
  }
  if (withCellData) GatherAttributes(mesh->GetCellData(), cellSource);
}

}  // namespace

bool CleanWithoutFilter(vtkPolyData* mesh, const CollapseRules& rules) {
  if (mesh == nullptr || mesh->GetPoints() == nullptr || mesh->GetNumberOfPoints() == 0 ||
      !HasOnlyPolygons(mesh) || !HasPlainData(mesh)) {
    return false;
  }
  std::vector<PointIndex> sameAs;
  Numbering numbering;
  if (!FindExactCopies(mesh->GetPoints(), sameAs) ||
      !NumberByFirstUse(mesh->GetPolys(), mesh->GetNumberOfPoints(), sameAs, numbering)) {
    return false;
  }
  sameAs = {};  // freed before the new arrays are made
  const bool unchanged = numbering.newIds.empty() && numbering.collapsedCells == 0 &&
                         mesh->GetCellData()->GetNumberOfArrays() == 0;
  if (unchanged) return true;
  // Cells first: their old ids and the map go before the points are copied (peak memory).
  BuildCells(mesh, numbering, rules);
  if (!numbering.newIds.empty()) {
    numbering.newIds = {};
    GatherPoints(mesh, numbering.source);
    GatherAttributes(mesh->GetPointData(), numbering.source);
  }
  mesh->DeleteCells();
  mesh->Modified();
  return true;
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
