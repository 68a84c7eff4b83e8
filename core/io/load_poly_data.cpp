#include "core/io/load_poly_data.h"

#include <vtkFloatArray.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/io/library_readers.h"
#include "core/io/load_off.h"
#include "core/io/load_pcd.h"
#include "core/io/load_vert_tri.h"
#include "core/io/ply_direct_reader.h"
#include "core/io/read_support.h"

namespace Ostrel {
namespace Core {
namespace Impl {
namespace {

using Reader = vtkPolyData* (*)(const char*);

struct ExtensionRow {
  const char* extension;
  Reader reader;
  bool dropsExtension;  // the reader takes the path without its extension
};

const ExtensionRow kExtensionTable[] = {
    {".ply", &LoadPly, false}, {".obj", &LoadOBJ, false},     {".vtk", &LoadVtk, false},
    {".off", &LoadOff, false}, {".vert", &LoadVertTri, true}, {".tri", &LoadVertTri, true},
    {".pcd", &LoadPcd, false},
};

// Text from the last '.' of the whole path, lower-cased; empty when there is no '.'.
std::string LowerCaseExtension(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return "";
  std::string extension = path.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

vtkPolyData* ReadByExtension(const std::string& path, const std::string& extension) {
  for (const ExtensionRow& row : kExtensionTable) {
    if (extension != row.extension) continue;
    if (!row.dropsExtension) return row.reader(path.c_str());
    const std::string basePath = path.substr(0, path.size() - extension.size());
    return row.reader(basePath.c_str());
  }
  return nullptr;
}

bool IsSupported(const std::string& extension) {
  for (const ExtensionRow& row : kExtensionTable) {
    if (extension == row.extension) return true;
  }
  return false;
}

// Id of the first point with a NaN or infinite coordinate, or -1. Such a point has no place:
// it makes mesh resolutions NaN (every comparison with a NaN radius then miscounts) and the
// point merging and locators of the library misbehave on it.
vtkIdType FirstNonFinitePoint(vtkPolyData* mesh) {
  vtkPoints* points = mesh->GetPoints();
  if (points == nullptr) return -1;
  vtkDataArray* data = points->GetData();
  const vtkIdType count = points->GetNumberOfPoints();
  if (auto* floats = vtkFloatArray::FastDownCast(data)) {
    const float* values = floats->GetPointer(0);
    for (vtkIdType i = 0; i < 3 * count; ++i) {
      if (!std::isfinite(values[i])) return i / 3;
    }
    return -1;
  }
  for (vtkIdType i = 0; i < count; ++i) {
    double p[3];
    data->GetTuple(i, p);
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) return i;
  }
  return -1;
}

}  // namespace

vtkPolyData* LoadPolyData(const char* path) {
  const std::string fullPath = path != nullptr ? path : "";
  const std::string extension = LowerCaseExtension(fullPath);
  if (!IsSupported(extension)) {
    std::printf("\nERROR LoadPolyData: %s\n", fullPath.c_str());
    std::printf("Type not supported.\n");
    return nullptr;
  }
  vtkPolyData* mesh = ReadByExtension(fullPath, extension);
  if (mesh == nullptr) return nullptr;
  const vtkIdType bad = FirstNonFinitePoint(mesh);
  if (bad >= 0) {
    ReportReadProblem(
        "LoadPolyData", fullPath,
        "vertex " + std::to_string(bad) + " has a coordinate that is not a finite number");
    mesh->Delete();
    return nullptr;
  }
  return mesh;
}

vtkPolyData* LoadPolyDataSilently(const char* path) {
  const std::string fullPath = path != nullptr ? path : "";
  if (LowerCaseExtension(fullPath) != ".ply" || !IsReadableFile(path)) return nullptr;
  vtkPolyData* mesh = ReadSimpleBinaryPly(path);
  if (mesh != nullptr && FirstNonFinitePoint(mesh) >= 0) {
    mesh->Delete();
    return nullptr;
  }
  return mesh;
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
