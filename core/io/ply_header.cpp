#include "core/io/ply_header.h"

#include <vtkErrorCode.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace Ostrel {
namespace Core {
namespace Impl {
namespace {

// vtkPLY reads header lines into a fixed buffer; longer lines are damage, not content.
constexpr std::size_t kMaxHeaderLine = 4000;

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

std::string Quoted(const std::string& word) {
  return "'" + PrintableText(word) + "'";
}

// Reads one header line without its line end ("\r\n" included); false at the end of the file
// or when the line is longer than any header line can be.
bool ReadHeaderLine(std::FILE* file, std::string& line, PlyHeader& header) {
  line.clear();
  int c;
  while ((c = std::fgetc(file)) != EOF && c != '\n') {
    if (line.size() >= kMaxHeaderLine) return false;
    line.push_back(static_cast<char>(c));
  }
  if (c != '\n') return false;
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
    header.carriageReturns = true;
  }
  return true;
}

bool ParseCount(const std::string& text, long long& count) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || errno != 0 || value < 0 || value > INT_MAX) {
    return false;
  }
  count = value;
  return true;
}

bool IsComment(const std::vector<std::string>& words) {
  return !words.empty() && (words[0] == "comment" || words[0] == "obj_info");
}

StructureCheck ApplyFormat(const std::vector<std::string>& words, PlyHeader& header) {
  if (words.size() != 3 || words[0] != "format") {
    return StructureCheck::Failure(vtkErrorCode::FileFormatError, "bad format line");
  }
  if (words[1] == "ascii") {
    header.format = PlyFormat::Ascii;
  } else if (words[1] == "binary_little_endian") {
    header.format = PlyFormat::BinaryLittleEndian;
  } else if (words[1] == "binary_big_endian") {
    header.format = PlyFormat::BinaryBigEndian;
  } else {
    return StructureCheck::Failure(vtkErrorCode::FileFormatError,
                                   "unknown format " + Quoted(words[1]));
  }
  header.version = words[2];
  return StructureCheck{};
}

std::string ApplyProperty(const std::vector<std::string>& words, PlyHeader& header) {
  if (header.elements.empty()) return "property before any element";
  PlyProperty property;
  const PlyType* value = nullptr;
  if (words.size() == 5 && words[1] == "list") {
    const PlyType* count = FindPlyType(words[2]);
    value = FindPlyType(words[3]);
    if (count == nullptr || !count->isInteger) return "bad list length type " + Quoted(words[2]);
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

// Applies one element or property line to `header`; returns a problem text, empty when the
// line is sound.
std::string ApplyHeaderWords(const std::vector<std::string>& words, PlyHeader& header) {
  const std::string& key = words[0];
  if (key == "element") {
    PlyElement element;
    if (words.size() != 3 || !ParseCount(words[2], element.count)) return "bad element line";
    element.name = words[1];
    if (element.name == "vertex") header.vertexCount = element.count;
    header.elements.push_back(element);
    return "";
  }
  if (key != "property") return "unknown header keyword " + Quoted(key);
  return ApplyProperty(words, header);
}

}  // namespace

bool PlyElement::hasList() const {
  return std::any_of(properties.begin(), properties.end(),
                     [](const PlyProperty& p) { return p.isList; });
}

long long PlyElement::fixedRowSize() const {
  long long size = 0;
  for (const PlyProperty& p : properties) size += p.value.size;
  return size;
}

StructureCheck ReadPlyHeader(std::FILE* file, PlyHeader& header) {
  std::string line;
  if (!ReadHeaderLine(file, line, header) || line != "ply") {
    return StructureCheck::Failure(vtkErrorCode::UnrecognizedFileTypeError,
                                   "not a PLY file (no 'ply' line)");
  }
  std::vector<std::string> words;
  do {  // comments may come before the format line
    if (!ReadHeaderLine(file, line, header)) {
      return StructureCheck::Failure(vtkErrorCode::PrematureEndOfFileError,
                                     "header ends before its format line");
    }
    words = SplitWords(line);
  } while (IsComment(words));
  StructureCheck format = ApplyFormat(words, header);
  if (!format.ok()) return format;
  while (ReadHeaderLine(file, line, header)) {
    words = SplitWords(line);
    if (words.empty())
      return StructureCheck::Failure(vtkErrorCode::FileFormatError, "empty header line");
    if (IsComment(words)) continue;
    if (words[0] == "end_header") {
      header.bodyStart = std::ftell(file);
      return StructureCheck{};
    }
    const std::string problem = ApplyHeaderWords(words, header);
    if (!problem.empty())
      return StructureCheck::Failure(vtkErrorCode::FileFormatError, "header: " + problem);
  }
  return StructureCheck::Failure(vtkErrorCode::PrematureEndOfFileError,
                                 "header ends without end_header");
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
