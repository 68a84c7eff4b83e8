#pragma once
// The PLY header parser, shared by the structural check (ply_header_check.h) and the direct
// reader (ply_direct_reader.h): the header's format, elements and typed properties, and where
// the body starts.

#include <cstdio>
#include <string>
#include <vector>

#include "core/io/read_support.h"

namespace Ostrel {
namespace Core {
namespace Impl {

enum class PlyFormat { Ascii, BinaryLittleEndian, BinaryBigEndian };

// One of the scalar types of the format, under either of its names ("float" or "float32").
struct PlyType {
  const char* name;
  int size;  // bytes in a binary body
  bool isInteger;
  bool isSigned;
};

struct PlyProperty {
  std::string name;
  bool isList = false;
  bool holdsFaceIds = false;  // set by the structural check on the face element's id list
  PlyType value{};            // the scalar, or the list's item type
  PlyType count{};            // the list's length type
};

struct PlyElement {
  std::string name;
  long long count = 0;  // rows, at most INT_MAX
  std::vector<PlyProperty> properties;

  bool hasList() const;
  long long fixedRowSize() const;  // bytes of a binary row, lists not counted
};

struct PlyHeader {
  PlyFormat format = PlyFormat::Ascii;
  std::string version;           // the format line's third word
  bool carriageReturns = false;  // some header line ended in "\r\n"
  std::vector<PlyElement> elements;
  long long vertexCount = 0;  // rows of the (last) element named "vertex"
  long long bodyStart = 0;    // offset of the first byte after "end_header\n"
};

// Reads the header of the PLY file open in `file` (at its start) into `header`: the "ply"
// line, comments and obj_info lines anywhere, one "format <ascii|binary_little_endian|
// binary_big_endian> <version>" line, "element <name> <count>" lines each followed by their
// "property <type> <name>" or "property list <count type> <item type> <name>" lines, and
// "end_header". Lines may end in "\r\n" and hold at most 4000 characters. On failure the
// result carries a vtkErrorCode and the problem (words quoted from the file are escaped);
// `file` is then left anywhere in the header.
StructureCheck ReadPlyHeader(std::FILE* file, PlyHeader& header);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
