#include "core/io/load_poly_data.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/io/library_readers.h"
#include "core/io/load_off.h"
#include "core/io/load_pcd.h"
#include "core/io/load_vert_tri.h"

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

}  // namespace

vtkPolyData* LoadPolyData(const char* path) {
  const std::string fullPath = path != nullptr ? path : "";
  const std::string extension = LowerCaseExtension(fullPath);
  for (const ExtensionRow& row : kExtensionTable) {
    if (extension != row.extension) continue;
    if (!row.dropsExtension) return row.reader(fullPath.c_str());
    const std::string basePath = fullPath.substr(0, fullPath.size() - extension.size());
    return row.reader(basePath.c_str());
  }
  std::printf("\nERROR LoadPolyData: %s\n", fullPath.c_str());
  std::printf("Type not supported.\n");
  return nullptr;
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
