#include "core/io/ply_header_check.h"

#include <vtkErrorCode.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "core/io/chunked_reader.h"
#include "core/io/ply_header.h"
#include "core/io/read_support.h"

namespace Ostrel {
namespace Core {
namespace Impl {
namespace {

bool HasScalar(const PlyElement& element, const char* name) {
  return std::any_of(element.properties.begin(), element.properties.end(),
                     [&](const PlyProperty& p) { return !p.isList && p.name == name; });
}

// vtkPLYReader needs a vertex element with x, y and z, and a face element (when there is one)
// with its list of vertex ids; it crashes without them. Marks the face id list for checking.
PlyCheck CheckElements(PlyHeader& header) {
  bool hasVertices = false;
  for (PlyElement& element : header.elements) {
    if (element.count > 0 && element.properties.empty()) {
      return StructureCheck::Failure(
          vtkErrorCode::FileFormatError,
          "element '" + PrintableText(element.name) + "' has rows but no properties");
    }
    if (element.name == "vertex") {
      if (!HasScalar(element, "x") || !HasScalar(element, "y") || !HasScalar(element, "z")) {
        return StructureCheck::Failure(vtkErrorCode::FileFormatError,
                                       "vertex element lacks x, y or z");
      }
      hasVertices = true;
    }
    if (element.name != "face") continue;
    bool hasIds = false;
    for (PlyProperty& p : element.properties) {
      p.holdsFaceIds = p.isList && (p.name == "vertex_indices" || p.name == "vertex_index");
      hasIds = hasIds || p.holdsFaceIds;
    }
    if (!hasIds)
      return StructureCheck::Failure(vtkErrorCode::FileFormatError,
                                     "face element lacks vertex_indices");
  }
  if (!hasVertices)
    return StructureCheck::Failure(vtkErrorCode::FileFormatError, "no vertex element");
  return PlyCheck{};
}

bool IdInRange(double id, long long vertexCount) {
  return id >= 0.0 && id < static_cast<double>(vertexCount);
}

std::string BadIdProblem(const PlyElement& element, long long row) {
  return "'" + PrintableText(element.name) + "' row " + std::to_string(row + 1) +
         " refers to a vertex that does not exist";
}

template <class T>
T LoadAs(const unsigned char* bytes, bool swap) {
  T value;
  if (!swap) {
    std::memcpy(&value, bytes, sizeof value);
    return value;
  }
  unsigned char reversed[sizeof(T)];
  std::reverse_copy(bytes, bytes + sizeof(T), reversed);
  std::memcpy(&value, reversed, sizeof value);
  return value;
}

// One value of `type` stored in the file's byte order.
double DecodeValue(const unsigned char* bytes, const PlyType& type, bool bigEndian) {
  const bool swap = bigEndian != (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__);
  if (!type.isInteger) {
    return type.size == 4 ? LoadAs<float>(bytes, swap) : LoadAs<double>(bytes, swap);
  }
  switch (type.size) {
    case 1:
      return type.isSigned ? static_cast<std::int8_t>(bytes[0]) : bytes[0];
    case 2:
      return type.isSigned ? LoadAs<std::int16_t>(bytes, swap) : LoadAs<std::uint16_t>(bytes, swap);
    default:
      return type.isSigned ? LoadAs<std::int32_t>(bytes, swap) : LoadAs<std::uint32_t>(bytes, swap);
  }
}

// Walks one row holding lists; false when the data ends inside it or `problem` is set.
bool WalkBinaryRow(ChunkedReader& walker, const PlyHeader& header, const PlyElement& element,
                   long long row, std::string& problem) {
  const bool bigEndian = header.format == PlyFormat::BinaryBigEndian;
  for (const PlyProperty& property : element.properties) {
    if (!property.isList) {
      if (!walker.skip(property.value.size)) return false;
      continue;
    }
    const unsigned char* lengthBytes = walker.next(property.count.size);
    if (lengthBytes == nullptr) return false;
    const double length = DecodeValue(lengthBytes, property.count, bigEndian);
    if (length < 0) {
      problem = "negative list length in '" + PrintableText(element.name) + "'";
      return false;
    }
    if (!property.holdsFaceIds) {
      if (!walker.skip(static_cast<long long>(length) * property.value.size)) return false;
      continue;
    }
    const long long idBytes = static_cast<long long>(length) * property.value.size;
    const unsigned char* ids = walker.next(idBytes);
    if (ids == nullptr) return false;
    for (long long at = 0; at < idBytes; at += property.value.size) {
      if (!IdInRange(DecodeValue(ids + at, property.value, bigEndian), header.vertexCount)) {
        problem = BadIdProblem(element, row);
        return false;
      }
    }
  }
  return true;
}

PlyCheck WalkBinaryBody(std::FILE* file, const PlyHeader& header, long long fileSize) {
  ChunkedReader walker(file, header.bodyStart, fileSize);
  for (const PlyElement& element : header.elements) {
    std::string problem;
    bool complete = true;
    if (!element.hasList()) {
      const long long rowSize = element.fixedRowSize();
      complete = element.count == 0 || rowSize <= LLONG_MAX / element.count;
      complete = complete && walker.skip(element.count * rowSize);
    } else {
      for (long long row = 0; complete && row < element.count; ++row) {
        complete = WalkBinaryRow(walker, header, element, row, problem);
      }
    }
    if (!problem.empty()) return StructureCheck::Failure(vtkErrorCode::FileFormatError, problem);
    if (!complete) {
      return StructureCheck::Failure(
          vtkErrorCode::PrematureEndOfFileError,
          "data ends inside the '" + PrintableText(element.name) + "' rows");
    }
  }
  if (walker.position() != fileSize) {
    return StructureCheck::Failure(
        vtkErrorCode::FileFormatError,
        std::to_string(fileSize - walker.position()) + " bytes after the last element");
  }
  return PlyCheck{};
}

bool ParseWholeNumber(const std::string& word, double& value) {
  char* end = nullptr;
  value = std::strtod(word.c_str(), &end);
  return end != word.c_str() && *end == '\0';
}

// Checks that an ascii row has a word for every value, list lengths that are counts, and face
// ids of existing vertices; returns a problem text, empty when sound.
std::string CheckAsciiRow(const std::vector<std::string>& words, const PlyHeader& header,
                          const PlyElement& element, long long row) {
  const std::string where = "'" + PrintableText(element.name) + "' row " + std::to_string(row + 1);
  size_t next = 0;
  for (const PlyProperty& property : element.properties) {
    if (next >= words.size()) return where + " has too few values";
    if (!property.isList) {
      ++next;
      continue;
    }
    double length = 0;
    if (!ParseWholeNumber(words[next++], length) || length < 0 || length != std::floor(length)) {
      return where + " has a bad list length";
    }
    if (length > static_cast<double>(words.size() - next)) return where + " has too few values";
    for (size_t k = 0; k < static_cast<size_t>(length); ++k, ++next) {
      double id = 0;
      if (property.holdsFaceIds &&
          (!ParseWholeNumber(words[next], id) || !IdInRange(id, header.vertexCount))) {
        return BadIdProblem(element, row);
      }
    }
  }
  return "";
}

// vtkPLYReader reads one line per row and aborts on rows that end early.
PlyCheck WalkAsciiBody(std::FILE* file, const PlyHeader& header) {
  if (std::fseek(file, header.bodyStart, SEEK_SET) != 0) {
    return StructureCheck::Failure(vtkErrorCode::PrematureEndOfFileError,
                                   "no data after the header");
  }
  std::unique_ptr<char, void (*)(void*)> line(nullptr, &std::free);
  size_t capacity = 0;
  for (const PlyElement& element : header.elements) {
    for (long long row = 0; row < element.count; ++row) {
      char* buffer = line.release();
      const ssize_t length = getline(&buffer, &capacity, file);
      line.reset(buffer);
      // The reader aborts on a last row without its line break, too.
      if (length < 0 || buffer[length - 1] != '\n') {
        return StructureCheck::Failure(
            vtkErrorCode::PrematureEndOfFileError,
            "data ends inside the '" + PrintableText(element.name) + "' rows");
      }
      // The reader takes a row as a C string: a NUL byte ends it.
      const std::string problem =
          CheckAsciiRow(SplitWords(std::string(buffer)), header, element, row);
      if (!problem.empty()) return StructureCheck::Failure(vtkErrorCode::FileFormatError, problem);
    }
  }
  return PlyCheck{};
}

}  // namespace

PlyCheck CheckPlyStructure(const char* path) {
  FileHandle file = OpenBinaryFile(path);
  const long long fileSize = FileSizeOf(path);
  if (!file || fileSize < 0)
    return StructureCheck::Failure(vtkErrorCode::CannotOpenFileError, "cannot open file");
  PlyHeader header;
  PlyCheck check = ReadPlyHeader(file.get(), header);
  if (check.ok()) check = CheckElements(header);
  if (!check.ok()) return check;
  if (header.format == PlyFormat::Ascii) return WalkAsciiBody(file.get(), header);
  return WalkBinaryBody(file.get(), header, fileSize);
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
