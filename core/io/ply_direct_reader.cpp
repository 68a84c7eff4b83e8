#include "core/io/ply_direct_reader.h"

#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkTypeInt64Array.h>
#include <vtkUnsignedCharArray.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/io/ply_header_lines.h"
#include "core/io/read_support.h"

namespace Ostrel {
namespace Core {
namespace Impl {
namespace {

constexpr std::size_t kChunkBytes = 1 << 20;

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// Where each value of a vertex row lies; -1 when the row lacks it.
struct VertexLayout {
  long long count = 0;
  int rowSize = 0;
  bool doubleCoordinates = false;
  int normals = -1;  // offset of nx; ny and nz follow
  int colours = -1;  // offset of red; green and blue follow
  bool alpha = false;
};

struct SimpleLayout {
  VertexLayout vertex;
  bool hasFaces = false;
  long long faceCount = 0;
  long long bodyStart = 0;
};

bool ParseCount(const std::string& text, long long& count) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  count = std::stoll(text);
  return count <= INT_MAX;
}

// The vertex properties, in the one order served: x y z, [nx ny nz], [red green blue [alpha]].
bool MatchVertexProperties(const std::vector<std::vector<std::string>>& props, VertexLayout& v) {
  static const char* const kNames[] = {"x",  "y",   "z",     "nx",   "ny",
                                       "nz", "red", "green", "blue", "alpha"};
  std::size_t at = 0;
  auto take = [&](const char* name, const char* type) {
    if (at >= props.size() || props[at].size() != 3 || props[at][2] != name ||
        props[at][1] != type) {
      return false;
    }
    ++at;
    return true;
  };
  const char* coordinate = props.empty() || props[0].size() != 3 ? "" : props[0][1].c_str();
  v.doubleCoordinates = std::strcmp(coordinate, "double") == 0;
  if (!v.doubleCoordinates && std::strcmp(coordinate, "float") != 0) return false;
  const std::string coordinateType = coordinate;
  for (int k = 0; k < 3; ++k) {
    if (!take(kNames[k], coordinateType.c_str())) return false;
  }
  int offset = v.doubleCoordinates ? 24 : 12;
  if (take("nx", "float")) {
    if (!take("ny", "float") || !take("nz", "float")) return false;
    v.normals = offset;
    offset += 12;
  }
  if (take("red", "uchar")) {
    if (!take("green", "uchar") || !take("blue", "uchar")) return false;
    v.colours = offset;
    offset += 3;
    v.alpha = take("alpha", "uchar");
    offset += v.alpha ? 1 : 0;
  }
  v.rowSize = offset;
  return at == props.size();
}

bool IsFaceList(const std::vector<std::vector<std::string>>& props) {
  if (props.size() != 1 || props[0].size() != 5 || props[0][1] != "list") return false;
  const std::vector<std::string>& p = props[0];
  return (p[2] == "uchar" || p[2] == "uint8") && (p[3] == "int" || p[3] == "int32") &&
         (p[4] == "vertex_indices" || p[4] == "vertex_index");
}

struct ElementLines {
  std::string name;
  long long count = 0;
  std::vector<std::vector<std::string>> properties;
};

// Reads the header; false when it is not exactly the served layout.
bool ReadLayout(std::FILE* file, SimpleLayout& layout) {
  std::string line;
  if (!ReadPlyHeaderLine(file, line) || line != "ply") return false;
  if (!ReadPlyHeaderLine(file, line) || line != "format binary_little_endian 1.0") return false;
  std::vector<ElementLines> elements;
  while (ReadPlyHeaderLine(file, line)) {
    const std::vector<std::string> words = SplitWords(line);
    if (words.empty()) return false;
    if (words[0] == "comment" || words[0] == "obj_info") continue;
    if (words[0] == "end_header" && words.size() == 1) {
      layout.bodyStart = std::ftell(file);
      break;
    }
    if (words[0] == "element" && words.size() == 3) {
      elements.push_back({words[1], 0, {}});
      if (!ParseCount(words[2], elements.back().count)) return false;
    } else if (words[0] == "property" && !elements.empty()) {
      elements.back().properties.push_back(words);
    } else {
      return false;
    }
  }
  if (layout.bodyStart <= 0 || elements.empty() || elements.size() > 2) return false;
  if (elements[0].name != "vertex" ||
      !MatchVertexProperties(elements[0].properties, layout.vertex)) {
    return false;
  }
  layout.vertex.count = elements[0].count;
  if (elements.size() == 2) {
    if (elements[1].name != "face" || !IsFaceList(elements[1].properties)) return false;
    layout.hasFaces = true;
    layout.faceCount = elements[1].count;
  }
  return true;
}

// Forward reader over the body in chunks.
class Chunks {
 public:
  explicit Chunks(std::FILE* file) : file_(file), buffer_(kChunkBytes) {}

  // The next `bytes` bytes (at most a chunk), or null when the file ends first.
  const unsigned char* next(std::size_t bytes) {
    if (end_ - at_ < bytes) {
      std::memmove(buffer_.data(), buffer_.data() + at_, end_ - at_);
      end_ -= at_;
      at_ = 0;
      end_ += std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
      if (end_ < bytes) return nullptr;
    }
    const unsigned char* data = buffer_.data() + at_;
    at_ += bytes;
    return data;
  }

  bool atEnd() { return at_ == end_ && std::fgetc(file_) == EOF; }

 private:
  std::FILE* file_;
  std::vector<unsigned char> buffer_;
  std::size_t at_ = 0;
  std::size_t end_ = 0;
};

template <class T>
T Load(const unsigned char* bytes) {
  T value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

bool ReadVertices(Chunks& body, const VertexLayout& v, vtkPolyData* mesh) {
  auto points = vtkSmartPointer<vtkPoints>::New();
  points->SetDataTypeToFloat();
  points->SetNumberOfPoints(v.count);
  float* xyz = static_cast<vtkFloatArray*>(points->GetData())->GetPointer(0);
  vtkSmartPointer<vtkFloatArray> normals;
  vtkSmartPointer<vtkUnsignedCharArray> colours;
  if (v.normals >= 0) {
    normals = vtkSmartPointer<vtkFloatArray>::New();
    normals->SetName("Normals");
    normals->SetNumberOfComponents(3);
    normals->SetNumberOfTuples(v.count);
  }
  const int colourComponents = v.alpha ? 4 : 3;
  if (v.colours >= 0) {
    colours = vtkSmartPointer<vtkUnsignedCharArray>::New();
    colours->SetName(v.alpha ? "RGBA" : "RGB");
    colours->SetNumberOfComponents(colourComponents);
    colours->SetNumberOfTuples(v.count);
  }
  const std::size_t rowsPerChunk = kChunkBytes / v.rowSize;
  for (long long first = 0; first < v.count; first += rowsPerChunk) {
    const std::size_t rows = std::min<long long>(rowsPerChunk, v.count - first);
    const unsigned char* row = body.next(rows * v.rowSize);
    if (row == nullptr) return false;
    for (std::size_t r = 0; r < rows; ++r, row += v.rowSize) {
      float* p = xyz + 3 * (first + r);
      if (v.doubleCoordinates) {
        for (int k = 0; k < 3; ++k) p[k] = static_cast<float>(Load<double>(row + 8 * k));
      } else {
        std::memcpy(p, row, 12);
      }
      if (normals) std::memcpy(normals->GetPointer(3 * (first + r)), row + v.normals, 12);
      if (colours) {
        std::memcpy(colours->GetPointer(colourComponents * (first + r)), row + v.colours,
                    colourComponents);
      }
    }
  }
  mesh->SetPoints(points);
  if (colours) mesh->GetPointData()->SetScalars(colours);
  if (normals) mesh->GetPointData()->SetNormals(normals);
  return true;
}

// Faces of fewer than three ids are left to the general road.
bool ReadFaces(Chunks& body, long long faceCount, long long vertexCount, vtkPolyData* mesh) {
  auto offsets = vtkSmartPointer<vtkTypeInt64Array>::New();
  offsets->SetNumberOfValues(faceCount + 1);
  auto connectivity = vtkSmartPointer<vtkTypeInt64Array>::New();
  vtkIdType capacity = 3 * faceCount;
  connectivity->SetNumberOfValues(capacity);
  vtkTypeInt64* ids = connectivity->GetPointer(0);
  vtkTypeInt64* starts = offsets->GetPointer(0);
  vtkIdType used = 0;
  for (long long face = 0; face < faceCount; ++face) {
    const unsigned char* countByte = body.next(1);
    if (countByte == nullptr || *countByte < 3) return false;
    const int count = *countByte;  // read before the next call moves the buffer
    const unsigned char* values = body.next(4 * std::size_t(count));
    if (values == nullptr) return false;
    if (used + count > capacity) {
      capacity = 2 * capacity + count;
      connectivity->Resize(capacity);
      connectivity->SetNumberOfValues(capacity);
      ids = connectivity->GetPointer(0);
    }
    starts[face] = used;
    for (int k = 0; k < count; ++k) {
      const std::int32_t id = Load<std::int32_t>(values + 4 * k);
      if (id < 0 || id >= vertexCount) return false;
      ids[used++] = id;
    }
  }
  starts[faceCount] = used;
  connectivity->SetNumberOfValues(used);
  auto polys = vtkSmartPointer<vtkCellArray>::New();
  polys->SetData(offsets, connectivity);
  mesh->SetPolys(polys);
  return true;
}

}  // namespace

vtkPolyData* ReadSimpleBinaryPly(const char* path) {
  if (__BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__) return nullptr;
  FilePtr file(std::fopen(path, "rb"), &std::fclose);
  if (!file) return nullptr;
  SimpleLayout layout;
  if (!ReadLayout(file.get(), layout)) return nullptr;
  const long long fileSize = FileSizeOf(path);
  const long long vertexBytes = layout.vertex.count * layout.vertex.rowSize;
  if (fileSize - layout.bodyStart < vertexBytes + 13 * layout.faceCount) return nullptr;

  Chunks body(file.get());
  auto mesh = vtkSmartPointer<vtkPolyData>::New();
  if (!ReadVertices(body, layout.vertex, mesh)) return nullptr;
  if (layout.hasFaces && !ReadFaces(body, layout.faceCount, layout.vertex.count, mesh)) {
    return nullptr;
  }
  if (!body.atEnd()) return nullptr;
  mesh->Register(nullptr);
  return mesh;
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
