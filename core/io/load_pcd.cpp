#include "core/io/load_pcd.h"

#include <vtkDataArray.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/io/pcd_header.h"
#include "core/io/read_support.h"
#include "core/poly_data_storage.h"
#include "core/triangles_from_index_map.h"

using Ostrel::Core::Impl::CreateTrianglesFromIndexMap;
using Ostrel::Core::Impl::FileSizeOf;
using Ostrel::Core::Impl::OpenTextFile;
using Ostrel::Core::Impl::PcdHeader;
using Ostrel::Core::Impl::ReadPcdHeader;
using Ostrel::Core::Impl::ReportReadProblem;

namespace {

// Where the body's values go: the mesh's own point and colour storage.
struct PcdTarget {
  float* points = nullptr;
  unsigned char* colours = nullptr;  // null when the cloud has no colour
  int capacity = 0;                  // allocated points
};

bool ParseWholeFloat(const std::string& token, float& value) {
  char* end = nullptr;
  value = std::strtof(token.c_str(), &end);
  return end != token.c_str() && *end == '\0';
}

bool ParseCoordinate(const std::string& token, float& value) {
  return ParseWholeFloat(token, value) && std::isfinite(value);
}

// x goes through double precision first, as the first token of an entry always has.
bool ParseFirstCoordinate(const std::string& token, float& value) {
  char* end = nullptr;
  const double x = std::strtod(token.c_str(), &end);
  value = static_cast<float>(x);
  return end != token.c_str() && *end == '\0' && std::isfinite(value);
}

// The colour is a float whose bit pattern holds 0x00RRGGBB.
void UnpackColour(float packed, unsigned char* rgb) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &packed, sizeof bits);
  rgb[0] = static_cast<unsigned char>((bits >> 16) & 0xFF);
  rgb[1] = static_cast<unsigned char>((bits >> 8) & 0xFF);
  rgb[2] = static_cast<unsigned char>(bits & 0xFF);
}

// Reads the values of one valid entry after its first token `first` into point `k`.
std::string ReadEntryValues(std::istream& in, const std::string& first, int k,
                            const PcdTarget& target) {
  float* xyz = target.points + 3LL * k;
  std::string y, z;
  if (!(in >> y >> z)) return "body ends inside entry";
  if (!ParseFirstCoordinate(first, xyz[0]) || !ParseCoordinate(y, xyz[1]) ||
      !ParseCoordinate(z, xyz[2])) {
    return "entry '" + first + " " + y + " " + z + "' is not three finite numbers";
  }
  if (target.colours == nullptr) return "";
  std::string packed;
  float colour = 0.0f;
  if (!(in >> packed)) return "body ends inside entry";
  if (!ParseWholeFloat(packed, colour)) return "colour value '" + packed + "' is not a number";
  UnpackColour(colour, target.colours + 3LL * k);
  return "";
}

// Reads the body entries, fills `target` and the index map; `stored` counts the points.
std::string ReadBody(std::istream& in, const PcdHeader& header, const PcdTarget& target,
                     std::vector<int>& indexMap, int& stored) {
  const int entries = header.width * header.height;
  indexMap.assign(static_cast<size_t>(entries), -1);
  stored = 0;
  std::string first;
  for (int entry = 0; entry < entries; ++entry) {
    if (!(in >> first)) {
      return "body ends after " + std::to_string(entry) + " of " + std::to_string(entries) +
             " entries";
    }
    if (first == "nan") {
      in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
      continue;
    }
    if (stored >= target.capacity) {
      return "more valid entries than POINTS (" + std::to_string(header.points) + ")";
    }
    const std::string problem = ReadEntryValues(in, first, stored, target);
    if (!problem.empty()) return problem + " " + std::to_string(entry + 1);
    indexMap[static_cast<size_t>(entry)] = stored++;
  }
  return "";
}

// Drops the allocated points that no entry filled, with their colours.
void ShrinkToStored(vtkPolyData* mesh, int stored) {
  mesh->GetPoints()->SetNumberOfPoints(stored);
  if (vtkDataArray* colours = mesh->GetPointData()->GetArray("RGB")) {
    colours->SetNumberOfTuples(stored);
  }
}

void AddGridTriangles(vtkPolyData* mesh, const PcdHeader& header,
                      const std::vector<int>& indexMap) {
  long long* records = nullptr;
  const int count =
      CreateTrianglesFromIndexMap(indexMap.data(), header.width, header.height, records);
  std::unique_ptr<long long[]> owned(records);
  vtkIdType* ids = AllocateTriangles(mesh, count);
  // Each record is 3, a, b, c; the cell list takes the three ids.
  for (int t = 0; t < count; ++t) {
    for (int k = 0; k < 3; ++k) ids[3 * t + k] = static_cast<vtkIdType>(records[4 * t + 1 + k]);
  }
}

std::string ReadCloud(std::ifstream& in, const char* path, vtkPolyData* mesh) {
  PcdHeader header;
  std::string problem = ReadPcdHeader(in, FileSizeOf(path), header);
  if (!problem.empty()) return problem;
  PcdTarget target;
  // No more points can be stored than there are entries, whatever POINTS says.
  target.capacity = std::min(header.points, header.width * header.height);
  target.points = AllocatePoints(mesh, target.capacity);
  if (header.hasColour) target.colours = AllocateColors(mesh, nullptr, nullptr);
  std::vector<int> indexMap;
  int stored = 0;
  problem = ReadBody(in, header, target, indexMap, stored);
  if (!problem.empty()) return problem;
  if (stored < target.capacity) ShrinkToStored(mesh, stored);
  if (header.width != 1 && header.height != 1) AddGridTriangles(mesh, header, indexMap);
  return "";
}

}  // namespace

vtkPolyData* LoadPcd(const char* path) {
  std::ifstream in;
  if (!OpenTextFile(path, in)) {
    std::perror("Problems opening Pcd file");
    return nullptr;
  }
  auto mesh = vtkSmartPointer<vtkPolyData>::New();
  const std::string problem = ReadCloud(in, path, mesh);
  if (!problem.empty()) {
    ReportReadProblem("LoadPcd", path, problem);
    return nullptr;
  }
  mesh->Register(nullptr);
  return mesh;
}
