#include "core/io/load_pcd.h"

#include <lzf.h>
#include <vtkDataArray.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
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
using Ostrel::Core::Impl::kLzfMaxExpansion;
using Ostrel::Core::Impl::OpenTextFile;
using Ostrel::Core::Impl::PcdDataMode;
using Ostrel::Core::Impl::PcdHeader;
using Ostrel::Core::Impl::PcdSlot;
using Ostrel::Core::Impl::PrintableText;
using Ostrel::Core::Impl::ReadPcdHeader;
using Ostrel::Core::Impl::ReportReadProblem;

namespace {

// Where the body's values go: the mesh's own point and colour storage.
struct PcdTarget {
  float* points = nullptr;
  unsigned char* colours = nullptr;  // null when the cloud has no colour
  int capacity = 0;                  // allocated points
};

// One entry's values, whatever the body's form.
struct PcdEntry {
  float xyz[3] = {0, 0, 0};
  std::uint32_t colour = 0;  // 0x00RRGGBB in the low bytes
};

bool ParseWholeFloat(const std::string& token, float& value) {
  char* end = nullptr;
  value = std::strtof(token.c_str(), &end);
  return end != token.c_str() && *end == '\0';
}

bool ParseCoordinate(const std::string& token, float& value) {
  return ParseWholeFloat(token, value) && std::isfinite(value);
}

// x goes through double precision first, as it always has.
bool ParseFirstCoordinate(const std::string& token, float& value) {
  char* end = nullptr;
  const double x = std::strtod(token.c_str(), &end);
  value = static_cast<float>(x);
  return end != token.c_str() && *end == '\0' && std::isfinite(value);
}

// A float rgb holds its bit pattern as a float number; an integer one (TYPE U or I, as PCL
// writes it in text form) holds the bits as an integer.
bool ParseColour(const std::string& token, char type, std::uint32_t& bits) {
  if (type == 'F') {
    float packed = 0.0f;
    if (!ParseWholeFloat(token, packed)) return false;
    std::memcpy(&bits, &packed, sizeof bits);
    return true;
  }
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(token.c_str(), &end, 10);
  if (end == token.c_str() || *end != '\0' || errno == ERANGE) return false;
  bits = static_cast<std::uint32_t>(value);
  return true;
}

void UnpackColour(std::uint32_t bits, unsigned char* rgb) {
  rgb[0] = static_cast<unsigned char>((bits >> 16) & 0xFF);
  rgb[1] = static_cast<unsigned char>((bits >> 8) & 0xFF);
  rgb[2] = static_cast<unsigned char>(bits & 0xFF);
}

// Stores a valid entry as point `stored` of `target`.
std::string StoreEntry(const PcdEntry& entry, const PcdHeader& header, const PcdTarget& target,
                       int stored) {
  if (stored >= target.capacity) {
    return "more valid entries than POINTS (" + std::to_string(header.points) + ")";
  }
  std::copy(entry.xyz, entry.xyz + 3, target.points + 3LL * stored);
  if (target.colours != nullptr) UnpackColour(entry.colour, target.colours + 3LL * stored);
  return "";
}

// ---- Text bodies ----

// The tokens of one text entry that the reader uses; the others are skipped.
struct TextEntry {
  std::string x, y, z, rgb;
};

std::string ReadTextTokens(std::istream& in, const PcdHeader& header, std::string first,
                           TextEntry& tokens) {
  for (long long v = 0; v < header.entryValues; ++v) {
    std::string token;
    if (v == 0) {
      token.swap(first);
    } else if (!(in >> token)) {
      return "body ends inside entry";
    }
    if (v == header.x.value) tokens.x = token;
    if (v == header.y.value) tokens.y = token;
    if (v == header.z.value) tokens.z = token;
    if (header.hasColour && v == header.rgb.value) tokens.rgb = token;
  }
  return "";
}

std::string ParseTextEntry(const TextEntry& tokens, const PcdHeader& header, PcdEntry& entry) {
  if (!ParseFirstCoordinate(tokens.x, entry.xyz[0]) || !ParseCoordinate(tokens.y, entry.xyz[1]) ||
      !ParseCoordinate(tokens.z, entry.xyz[2])) {
    return "entry '" + PrintableText(tokens.x + " " + tokens.y + " " + tokens.z) +
           "' is not three finite numbers";
  }
  if (header.hasColour && !ParseColour(tokens.rgb, header.rgb.type, entry.colour)) {
    return "colour value '" + PrintableText(tokens.rgb) + "' is not a number";
  }
  return "";
}

// Reads the text body entries, fills `target` and the index map; `stored` counts the points.
// An entry is invalid (no point) when its x is "nan"; when x is the first value, the rest of
// its line is skipped, however many values it holds.
std::string ReadTextBody(std::istream& in, const PcdHeader& header, const PcdTarget& target,
                         std::vector<int>& indexMap, int& stored) {
  const int entries = header.width * header.height;
  std::string first;
  for (int e = 0; e < entries; ++e) {
    if (!(in >> first)) {
      return "body ends after " + std::to_string(e) + " of " + std::to_string(entries) + " entries";
    }
    if (first == "nan" && header.x.value == 0) {
      in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
      continue;
    }
    TextEntry tokens;
    PcdEntry entry;
    std::string problem = ReadTextTokens(in, header, first, tokens);
    if (problem.empty() && tokens.x == "nan") continue;
    if (problem.empty()) problem = ParseTextEntry(tokens, header, entry);
    if (problem.empty()) problem = StoreEntry(entry, header, target, stored);
    if (!problem.empty()) return problem + " " + std::to_string(e + 1);
    indexMap[static_cast<size_t>(e)] = stored++;
  }
  return "";
}

// ---- Binary bodies ----

// Where slot values lie in an uncompressed binary body: value of entry e at base + e * stride.
struct BinaryColumn {
  long long base = 0;
  long long stride = 0;
  int size = 4;
};

// Entries are stored one after another, or (compressed) field by field.
BinaryColumn ColumnOf(const PcdSlot& slot, const PcdHeader& header) {
  const long long entries = static_cast<long long>(header.width) * header.height;
  if (header.mode == PcdDataMode::Binary) return {slot.byte, header.entryBytes, slot.size};
  return {slot.byte * entries, slot.size, slot.size};
}

double ReadFloat(const unsigned char* body, const BinaryColumn& column, int e) {
  const unsigned char* at = body + column.base + column.stride * e;
  if (column.size == 8) {
    double value = 0;
    std::memcpy(&value, at, sizeof value);
    return value;
  }
  float value = 0;
  std::memcpy(&value, at, sizeof value);
  return value;
}

std::string ReadBinaryEntries(const std::vector<unsigned char>& body, const PcdHeader& header,
                              const PcdTarget& target, std::vector<int>& indexMap, int& stored) {
  const BinaryColumn xyz[3] = {ColumnOf(header.x, header), ColumnOf(header.y, header),
                               ColumnOf(header.z, header)};
  const BinaryColumn rgb = ColumnOf(header.rgb, header);
  const int entries = header.width * header.height;
  for (int e = 0; e < entries; ++e) {
    PcdEntry entry;
    for (int k = 0; k < 3; ++k)
      entry.xyz[k] = static_cast<float>(ReadFloat(body.data(), xyz[k], e));
    if (std::isnan(entry.xyz[0])) continue;
    std::string problem;
    if (!std::isfinite(entry.xyz[0]) || !std::isfinite(entry.xyz[1]) ||
        !std::isfinite(entry.xyz[2])) {
      problem = "entry does not hold three finite numbers";
    }
    if (header.hasColour) std::memcpy(&entry.colour, body.data() + rgb.base + rgb.stride * e, 4);
    if (problem.empty()) problem = StoreEntry(entry, header, target, stored);
    if (!problem.empty()) return problem + " " + std::to_string(e + 1);
    indexMap[static_cast<size_t>(e)] = stored++;
  }
  return "";
}

bool ReadBytes(std::istream& in, long long count, std::vector<unsigned char>& bytes) {
  bytes.resize(static_cast<size_t>(count));
  return count == 0 || in.read(reinterpret_cast<char*>(bytes.data()), count).gcount() == count;
}

// A compressed body: two 32-bit sizes (compressed, uncompressed), then the LZF data.
std::string ReadCompressedBody(std::istream& in, const PcdHeader& header, long long bodyBytes,
                               std::vector<unsigned char>& body) {
  std::uint32_t sizes[2] = {0, 0};
  if (bodyBytes < 8 || !in.read(reinterpret_cast<char*>(sizes), sizeof sizes)) {
    return "compressed body has no sizes";
  }
  const long long compressed = sizes[0], uncompressed = sizes[1];
  const long long expected =
      static_cast<long long>(header.width) * header.height * header.entryBytes;
  if (compressed > bodyBytes - 8) {
    return "compressed size " + std::to_string(compressed) + " is past the end of the file";
  }
  if (uncompressed != expected) {
    return "uncompressed size " + std::to_string(uncompressed) +
           " is not WIDTH x HEIGHT entries of " + std::to_string(header.entryBytes) + " bytes";
  }
  if (uncompressed > kLzfMaxExpansion * compressed) {
    return "uncompressed size " + std::to_string(uncompressed) + " cannot come from " +
           std::to_string(compressed) + " compressed bytes";
  }
  std::vector<unsigned char> packed;
  if (!ReadBytes(in, compressed, packed)) return "compressed body is short";
  body.resize(static_cast<size_t>(uncompressed));
  if (uncompressed == 0) return "";
  const unsigned int made = lzf_decompress(packed.data(), static_cast<unsigned int>(compressed),
                                           body.data(), static_cast<unsigned int>(uncompressed));
  if (made != uncompressed) return "compressed body is damaged";
  return "";
}

std::string ReadBinaryBody(std::istream& in, const PcdHeader& header, long long fileSize,
                           const PcdTarget& target, std::vector<int>& indexMap, int& stored) {
  const long long bodyBytes = fileSize - header.bodyStart;
  std::vector<unsigned char> body;
  if (header.mode == PcdDataMode::BinaryCompressed) {
    const std::string problem = ReadCompressedBody(in, header, bodyBytes, body);
    if (!problem.empty()) return problem;
  } else if (!ReadBytes(in,
                        static_cast<long long>(header.width) * header.height * header.entryBytes,
                        body)) {
    return "binary body is short";
  }
  return ReadBinaryEntries(body, header, target, indexMap, stored);
}

// ---- The mesh ----

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
  const long long fileSize = FileSizeOf(path);
  std::string problem = ReadPcdHeader(in, fileSize, header);
  if (!problem.empty()) return problem;
  PcdTarget target;
  // No more points can be stored than there are entries, whatever POINTS says.
  target.capacity = std::min(header.points, header.width * header.height);
  target.points = AllocatePoints(mesh, target.capacity);
  if (header.hasColour) target.colours = AllocateColors(mesh, nullptr, nullptr);
  std::vector<int> indexMap(static_cast<size_t>(header.width) * header.height, -1);
  int stored = 0;
  problem = header.mode == PcdDataMode::Ascii
                ? ReadTextBody(in, header, target, indexMap, stored)
                : ReadBinaryBody(in, header, fileSize, target, indexMap, stored);
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
