#include "core/io/ply_direct_reader.h"

#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>
#include <vtkTypeInt64Array.h>
#include <vtkUnsignedCharArray.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/io/chunked_reader.h"
#include "core/io/ply_header.h"
#include "core/io/read_support.h"

namespace Ostrel {
namespace Core {
namespace Impl {
namespace {

constexpr long long kChunkBytes = 1 << 20;

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
};

bool IsFloat(const PlyType& t) {
  return !t.isInteger && t.size == 4;
}
bool IsDouble(const PlyType& t) {
  return !t.isInteger && t.size == 8;
}
bool IsUchar(const PlyType& t) {
  return t.isInteger && !t.isSigned && t.size == 1;
}
bool IsInt(const PlyType& t) {
  return t.isInteger && t.isSigned && t.size == 4;
}

// The vertex properties, in the one order served: x y z, [nx ny nz], [red green blue [alpha]].
bool MatchVertexProperties(const std::vector<PlyProperty>& props, VertexLayout& v) {
  std::size_t at = 0;
  auto take = [&](const char* name, bool (*isType)(const PlyType&)) {
    if (at >= props.size() || props[at].isList || props[at].name != name ||
        !isType(props[at].value)) {
      return false;
    }
    ++at;
    return true;
  };
  v.doubleCoordinates = !props.empty() && IsDouble(props[0].value);
  bool (*coordinate)(const PlyType&) = v.doubleCoordinates ? &IsDouble : &IsFloat;
  if (!take("x", coordinate) || !take("y", coordinate) || !take("z", coordinate)) return false;
  int offset = v.doubleCoordinates ? 24 : 12;
  if (take("nx", &IsFloat)) {
    if (!take("ny", &IsFloat) || !take("nz", &IsFloat)) return false;
    v.normals = offset;
    offset += 12;
  }
  if (take("red", &IsUchar)) {
    if (!take("green", &IsUchar) || !take("blue", &IsUchar)) return false;
    v.colours = offset;
    offset += 3;
    v.alpha = take("alpha", &IsUchar);
    offset += v.alpha ? 1 : 0;
  }
  v.rowSize = offset;
  return at == props.size();
}

bool IsFaceList(const std::vector<PlyProperty>& props) {
  if (props.size() != 1 || !props[0].isList) return false;
  const PlyProperty& p = props[0];
  return IsUchar(p.count) && IsInt(p.value) &&
         (p.name == "vertex_indices" || p.name == "vertex_index");
}

// False when the header is not exactly the served layout.
bool MatchLayout(const PlyHeader& header, SimpleLayout& layout) {
  if (header.format != PlyFormat::BinaryLittleEndian || header.version != "1.0" ||
      header.carriageReturns) {
    return false;
  }
  const std::vector<PlyElement>& elements = header.elements;
  if (elements.empty() || elements.size() > 2) return false;
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

template <class T>
T Load(const unsigned char* bytes) {
  T value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

bool ReadVertices(ChunkedReader& body, const VertexLayout& v, vtkPolyData* mesh) {
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
  const long long rowsPerChunk = kChunkBytes / v.rowSize;
  for (long long first = 0; first < v.count; first += rowsPerChunk) {
    const long long rows = std::min<long long>(rowsPerChunk, v.count - first);
    const unsigned char* row = body.next(rows * v.rowSize);
    if (row == nullptr) return false;
    for (long long r = 0; r < rows; ++r, row += v.rowSize) {
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
bool ReadFaces(ChunkedReader& body, long long faceCount, long long vertexCount, vtkPolyData* mesh) {
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
    const unsigned char* values = body.next(4LL * count);
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
  FileHandle file = OpenBinaryFile(path);
  if (!file) return nullptr;
  PlyHeader header;
  SimpleLayout layout;
  if (!ReadPlyHeader(file.get(), header).ok() || !MatchLayout(header, layout)) return nullptr;
  const long long fileSize = FileSizeOf(path);
  const long long vertexBytes = layout.vertex.count * layout.vertex.rowSize;
  if (fileSize - header.bodyStart < vertexBytes + 13 * layout.faceCount) return nullptr;

  ChunkedReader body(file.get(), header.bodyStart, fileSize, kChunkBytes);
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
