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
#include <sstream>
#include <vector>

#include "core/io/ply_header_lines.h"
#include "core/io/read_support.h"

namespace Ostrel {
namespace Core {
namespace Impl {
namespace {

// vtkPLY reads header lines into a fixed buffer; longer lines are damage, not content.
constexpr size_t kWalkBufferSize = 1 << 20;

enum class PlyFormat { Ascii, BinaryLittleEndian, BinaryBigEndian };

struct PlyType {
  const char* name;
  int size;
  bool isInteger;
  bool isSigned;
};

const PlyType kPlyTypes[] = {
    {"char", 1, true, true},     {"int8", 1, true, true},     {"uchar", 1, true, false},
    {"uint8", 1, true, false},   {"short", 2, true, true},    {"int16", 2, true, true},
    {"ushort", 2, true, false},  {"uint16", 2, true, false},  {"int", 4, true, true},
    {"int32", 4, true, true},    {"uint", 4, true, false},    {"uint32", 4, true, false},
    {"float", 4, false, true},   {"float32", 4, false, true}, {"double", 8, false, true},
    {"float64", 8, false, true},
};

const PlyType* FindPlyType(const std::string& name) {
  for (const PlyType& type : kPlyTypes) {
    if (name == type.name) return &type;
  }
  return nullptr;
}

struct PlyProperty {
  std::string name;
  bool isList = false;
  bool holdsFaceIds = false;  // the face element's vertex list, checked against the vertices
  PlyType value{};            // the scalar, or the list's item type
  PlyType count{};            // the list's length type
};

struct PlyElement {
  std::string name;
  long long count = 0;
  std::vector<PlyProperty> properties;

  bool hasList() const {
    return std::any_of(properties.begin(), properties.end(),
                       [](const PlyProperty& p) { return p.isList; });
  }
  long long fixedRowSize() const {
    long long size = 0;
    for (const PlyProperty& p : properties) size += p.value.size;
    return size;
  }
};

struct PlyHeader {
  PlyFormat format = PlyFormat::Ascii;
  long long vertexCount = 0;
  std::vector<PlyElement> elements;
  long long bodyStart = 0;
};

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

PlyCheck Fail(int code, const std::string& problem) {
  return PlyCheck{code, problem};
}

// Reads one header line without its line end, "\r\n" included.
bool ReadHeaderLine(std::FILE* file, std::string& line) {
  if (!ReadPlyHeaderLine(file, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool ParseCount(const std::string& text, long long& count) {
  char* end = nullptr;
  errno = 0;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || errno != 0 || value < 0 || value > INT_MAX) {
    return false;
  }
  count = value;
  return true;
}

// Applies one header line (already split) to `header`; returns a problem text, empty when the
// line is sound.
std::string ApplyHeaderWords(const std::vector<std::string>& words, PlyHeader& header) {
  const std::string& key = words[0];
  if (key == "comment" || key == "obj_info") return "";
  if (key == "element") {
    PlyElement element;
    if (words.size() != 3 || !ParseCount(words[2], element.count)) {
      return "bad element line";
    }
    element.name = words[1];
    header.elements.push_back(element);
    return "";
  }
  if (key != "property") return "unknown header keyword '" + key + "'";
  if (header.elements.empty()) return "property before any element";
  PlyProperty property;
  const PlyType* value = nullptr;
  if (words.size() == 5 && words[1] == "list") {
    const PlyType* count = FindPlyType(words[2]);
    value = FindPlyType(words[3]);
    if (count == nullptr || !count->isInteger) return "bad list length type '" + words[2] + "'";
    property.isList = true;
    property.count = *count;
    property.name = words[4];
  } else if (words.size() == 3) {
    value = FindPlyType(words[1]);
    property.name = words[2];
  } else {
    return "bad property line";
  }
  if (value == nullptr) return "unknown property type";
  property.value = *value;
  header.elements.back().properties.push_back(property);
  return "";
}

PlyCheck ParseFormat(std::FILE* file, PlyHeader& header) {
  std::string line;
  if (!ReadHeaderLine(file, line) || line != "ply") {
    return Fail(vtkErrorCode::UnrecognizedFileTypeError, "not a PLY file (no 'ply' line)");
  }
  // Comments may come before the format line.
  std::vector<std::string> words;
  do {
    if (!ReadHeaderLine(file, line)) {
      return Fail(vtkErrorCode::PrematureEndOfFileError, "header ends before its format line");
    }
    words = SplitWords(line);
  } while (!words.empty() && (words[0] == "comment" || words[0] == "obj_info"));
  if (words.size() != 3 || words[0] != "format") {
    return Fail(vtkErrorCode::FileFormatError, "bad format line");
  }
  if (words[1] == "ascii") {
    header.format = PlyFormat::Ascii;
  } else if (words[1] == "binary_little_endian") {
    header.format = PlyFormat::BinaryLittleEndian;
  } else if (words[1] == "binary_big_endian") {
    header.format = PlyFormat::BinaryBigEndian;
  } else {
    return Fail(vtkErrorCode::FileFormatError, "unknown format '" + words[1] + "'");
  }
  return PlyCheck{};
}

PlyCheck ParseHeader(std::FILE* file, PlyHeader& header) {
  PlyCheck format = ParseFormat(file, header);
  if (!format.ok()) return format;
  std::string line;
  while (ReadHeaderLine(file, line)) {
    std::vector<std::string> words = SplitWords(line);
    if (words.empty()) return Fail(vtkErrorCode::FileFormatError, "empty header line");
    if (words[0] == "end_header") {
      header.bodyStart = std::ftell(file);
      return PlyCheck{};
    }
    std::string problem = ApplyHeaderWords(words, header);
    if (!problem.empty()) return Fail(vtkErrorCode::FileFormatError, "header: " + problem);
  }
  return Fail(vtkErrorCode::PrematureEndOfFileError, "header ends without end_header");
}

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
      return Fail(vtkErrorCode::FileFormatError,
                  "element '" + element.name + "' has rows but no properties");
    }
    if (element.name == "vertex") {
      if (!HasScalar(element, "x") || !HasScalar(element, "y") || !HasScalar(element, "z")) {
        return Fail(vtkErrorCode::FileFormatError, "vertex element lacks x, y or z");
      }
      hasVertices = true;
      header.vertexCount = element.count;
    }
    if (element.name != "face") continue;
    bool hasIds = false;
    for (PlyProperty& p : element.properties) {
      p.holdsFaceIds = p.isList && (p.name == "vertex_indices" || p.name == "vertex_index");
      hasIds = hasIds || p.holdsFaceIds;
    }
    if (!hasIds) return Fail(vtkErrorCode::FileFormatError, "face element lacks vertex_indices");
  }
  if (!hasVertices) return Fail(vtkErrorCode::FileFormatError, "no vertex element");
  return PlyCheck{};
}

bool IdInRange(double id, long long vertexCount) {
  return id >= 0.0 && id < static_cast<double>(vertexCount);
}

std::string BadIdProblem(const PlyElement& element, long long row) {
  return "'" + element.name + "' row " + std::to_string(row + 1) +
         " refers to a vertex that does not exist";
}

// Forward-only reader over the binary body: list lengths and face ids are read through a
// buffer, all other bytes are skipped by moving the position.
class BodyWalker {
 public:
  BodyWalker(std::FILE* file, long long start, long long fileSize)
      : file_(file), position_(start), fileSize_(fileSize), buffer_(kWalkBufferSize) {}

  long long position() const { return position_; }

  bool skip(long long bytes) {
    if (bytes > fileSize_ - position_) return false;
    position_ += bytes;
    return true;
  }

  bool read(unsigned char* out, int bytes) {
    const unsigned char* data = view(bytes);
    if (data != nullptr) std::memcpy(out, data, bytes);
    return data != nullptr;
  }

  // The next `bytes` bytes, valid until the next call, and moves past them; null when the
  // file ends first or they do not fit in the buffer.
  const unsigned char* view(long long bytes) {
    if (bytes > fileSize_ - position_ || bytes > static_cast<long long>(buffer_.size())) {
      return nullptr;
    }
    if (position_ < bufferStart_ || position_ + bytes > bufferStart_ + bufferLength_) refill();
    const unsigned char* data = buffer_.data() + (position_ - bufferStart_);
    position_ += bytes;
    return data;
  }

 private:
  void refill() {
    bufferStart_ = position_;
    size_t got = 0;
    if (fseeko(file_, position_, SEEK_SET) == 0)
      got = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    // Bytes the size promised but the read did not deliver count as zeros: the length checks
    // stay bounded by the size either way.
    std::fill(buffer_.begin() + got, buffer_.end(), 0);
    bufferLength_ = static_cast<long long>(buffer_.size());
  }

  std::FILE* file_;
  long long position_;
  long long fileSize_;
  std::vector<unsigned char> buffer_;
  long long bufferStart_ = 0;
  long long bufferLength_ = 0;
};

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
bool WalkBinaryRow(BodyWalker& walker, const PlyHeader& header, const PlyElement& element,
                   long long row, std::string& problem) {
  const bool bigEndian = header.format == PlyFormat::BinaryBigEndian;
  unsigned char bytes[8];
  for (const PlyProperty& property : element.properties) {
    if (!property.isList) {
      if (!walker.skip(property.value.size)) return false;
      continue;
    }
    if (!walker.read(bytes, property.count.size)) return false;
    const double length = DecodeValue(bytes, property.count, bigEndian);
    if (length < 0) {
      problem = "negative list length in '" + element.name + "'";
      return false;
    }
    if (!property.holdsFaceIds) {
      if (!walker.skip(static_cast<long long>(length) * property.value.size)) return false;
      continue;
    }
    const long long idBytes = static_cast<long long>(length) * property.value.size;
    const unsigned char* ids = walker.view(idBytes);
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
  BodyWalker walker(file, header.bodyStart, fileSize);
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
    if (!problem.empty()) return Fail(vtkErrorCode::FileFormatError, problem);
    if (!complete) {
      return Fail(vtkErrorCode::PrematureEndOfFileError,
                  "data ends inside the '" + element.name + "' rows");
    }
  }
  if (walker.position() != fileSize) {
    return Fail(vtkErrorCode::FileFormatError,
                std::to_string(fileSize - walker.position()) + " bytes after the last element");
  }
  return PlyCheck{};
}

// Words of one ascii row, split in place.
std::vector<const char*> SplitRow(char* line) {
  std::vector<const char*> words;
  char* save = nullptr;
  for (char* word = strtok_r(line, " \t\r\n\v\f", &save); word != nullptr;
       word = strtok_r(nullptr, " \t\r\n\v\f", &save)) {
    words.push_back(word);
  }
  return words;
}

bool ParseWholeNumber(const char* word, double& value) {
  char* end = nullptr;
  value = std::strtod(word, &end);
  return end != word && *end == '\0';
}

// Checks that an ascii row has a word for every value, list lengths that are counts, and face
// ids of existing vertices; returns a problem text, empty when sound.
std::string CheckAsciiRow(const std::vector<const char*>& words, const PlyHeader& header,
                          const PlyElement& element, long long row) {
  const std::string where = "'" + element.name + "' row " + std::to_string(row + 1);
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
    return Fail(vtkErrorCode::PrematureEndOfFileError, "no data after the header");
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
        return Fail(vtkErrorCode::PrematureEndOfFileError,
                    "data ends inside the '" + element.name + "' rows");
      }
      const std::string problem = CheckAsciiRow(SplitRow(buffer), header, element, row);
      if (!problem.empty()) return Fail(vtkErrorCode::FileFormatError, problem);
    }
  }
  return PlyCheck{};
}

}  // namespace

PlyCheck CheckPlyStructure(const char* path) {
  FilePtr file(std::fopen(path, "rb"), &std::fclose);
  const long long fileSize = FileSizeOf(path);
  if (!file || fileSize < 0) return Fail(vtkErrorCode::CannotOpenFileError, "cannot open file");
  PlyHeader header;
  PlyCheck check = ParseHeader(file.get(), header);
  if (check.ok()) check = CheckElements(header);
  if (!check.ok()) return check;
  if (header.format == PlyFormat::Ascii) return WalkAsciiBody(file.get(), header);
  return WalkBinaryBody(file.get(), header, fileSize);
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
