#include "core/poly_data_storage.h"

#include <vtkCellArray.h>
#include <vtkDoubleArray.h>
#include <vtkFloatArray.h>
#include <vtkIdTypeArray.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

const char* const kColourArrayName = "RGB";
const char* const kScaleArrayName = "Scale";
const unsigned char kMaskedOutGrey = 200;

// Negative counts are treated as 0 so that no array is ever asked for a negative size.
vtkIdType CountOrZero(int n) {
  return n > 0 ? static_cast<vtkIdType>(n) : 0;
}

int AsAllocatorCount(unsigned int n) {
  return n <= static_cast<unsigned int>(std::numeric_limits<int>::max()) ? static_cast<int>(n) : 0;
}

template <typename ArrayType>
typename ArrayType::ValueType* AllocatePointsOfType(vtkPolyData* mesh, int n) {
  if (mesh == nullptr) {
    return nullptr;
  }
  auto values = vtkSmartPointer<ArrayType>::New();
  values->SetNumberOfComponents(3);
  values->SetNumberOfTuples(CountOrZero(n));
  auto points = vtkSmartPointer<vtkPoints>::New();
  points->SetData(values);
  mesh->SetPoints(points);
  return values->GetPointer(0);
}

void FillColours(unsigned char* bytes, vtkIdType count, const unsigned char* colour,
                 const bool* mask) {
  const unsigned char grey[3] = {kMaskedOutGrey, kMaskedOutGrey, kMaskedOutGrey};
  for (vtkIdType i = 0; i < count; ++i) {
    const unsigned char* source = (mask == nullptr || mask[i]) ? colour : grey;
    std::memcpy(bytes + 3 * i, source, 3);
  }
}

}  // namespace

float* AllocatePoints(vtkPolyData* mesh, int n) {
  return AllocatePointsOfType<vtkFloatArray>(mesh, n);
}

double* AllocatePointsInDoubleFormat(vtkPolyData* mesh, int n) {
  return AllocatePointsOfType<vtkDoubleArray>(mesh, n);
}

vtkIdType* AllocateTriangles(vtkPolyData* mesh, int n) {
  if (mesh == nullptr) {
    return nullptr;
  }
  const vtkIdType count = CountOrZero(n);
  auto offsets = vtkSmartPointer<vtkIdTypeArray>::New();
  offsets->SetNumberOfValues(count + 1);
  vtkIdType* offset = offsets->GetPointer(0);
  for (vtkIdType t = 0; t <= count; ++t) {
    offset[t] = 3 * t;
  }
  auto connectivity = vtkSmartPointer<vtkIdTypeArray>::New();
  connectivity->SetNumberOfValues(3 * count);

  // SetData keeps both id arrays as they are (no copy), so the caller fills the very
  // connectivity storage the mesh uses.
  auto polygons = vtkSmartPointer<vtkCellArray>::New();
  polygons->SetData(offsets, connectivity);
  mesh->SetPolys(polygons);
  return connectivity->GetPointer(0);
}

unsigned char* AllocateColors(vtkPolyData* mesh, const unsigned char* colour, const bool* mask) {
  if (mesh == nullptr) {
    return nullptr;
  }
  const vtkIdType count = mesh->GetNumberOfPoints();
  auto colours = vtkSmartPointer<vtkUnsignedCharArray>::New();
  colours->SetName(kColourArrayName);
  colours->SetNumberOfComponents(3);
  colours->SetNumberOfTuples(count);
  if (colour != nullptr) {
    FillColours(colours->GetPointer(0), count, colour, mask);
  }
  vtkPointData* pointData = mesh->GetPointData();
  pointData->AddArray(colours);
  pointData->SetActiveScalars(kColourArrayName);
  return colours->GetPointer(0);
}

namespace Ostrel {
namespace Core {
namespace Impl {

double* AllocateScale(vtkPolyData* mesh) {
  if (mesh == nullptr) {
    return nullptr;
  }
  auto scales = vtkSmartPointer<vtkDoubleArray>::New();
  scales->SetName(kScaleArrayName);
  scales->SetNumberOfComponents(1);
  scales->SetNumberOfTuples(mesh->GetNumberOfPoints());
  mesh->GetPointData()->AddArray(scales);
  return scales->GetPointer(0);
}

double* GetPolyDataScalePointer(vtkPolyData* mesh, unsigned int index) {
  if (mesh == nullptr) {
    return nullptr;
  }
  // A "Scale" array of another type (say, read from a file) is not what callers can read.
  auto* scales =
      vtkDoubleArray::SafeDownCast(mesh->GetPointData()->GetAbstractArray(kScaleArrayName));
  if (scales == nullptr || index >= scales->GetNumberOfValues()) {
    return nullptr;
  }
  return scales->GetPointer(0) + index;
}

float* GetPolyDataPointsPointer(vtkPolyData* mesh, unsigned int index) {
  vtkPoints* points = mesh != nullptr ? mesh->GetPoints() : nullptr;
  if (points == nullptr) {
    return nullptr;
  }
  // Double storage read as floats would give garbage, so only float storage is handed out.
  auto* values = vtkFloatArray::SafeDownCast(points->GetData());
  if (values == nullptr || index >= values->GetNumberOfTuples()) {
    return nullptr;
  }
  return values->GetPointer(0) + 3 * static_cast<vtkIdType>(index);
}

vtkPolyData* CreatePolyData(const float* points, unsigned int n, const unsigned char* colours,
                            const int* triangles, unsigned int m) {
  vtkPolyData* mesh = vtkPolyData::New();
  // Counts beyond the int range of the allocators become empty storage; the copies below
  // are sized by what was really allocated.
  float* coordinates = AllocatePoints(mesh, AsAllocatorCount(n));
  const vtkIdType pointCount = mesh->GetNumberOfPoints();
  std::copy_n(points, 3 * pointCount, coordinates);

  if (colours != nullptr) {
    unsigned char* bytes = AllocateColors(mesh, nullptr, nullptr);
    std::copy_n(colours, 3 * pointCount, bytes);
  }
  if (triangles != nullptr) {
    vtkIdType* ids = AllocateTriangles(mesh, AsAllocatorCount(m));
    // Each index widens with its sign.
    std::copy_n(triangles, 3 * mesh->GetNumberOfPolys(), ids);
  }
  return mesh;
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
