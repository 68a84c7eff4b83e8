#include "core/io/pcd_header.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "core/io/read_support.h"

namespace Ostrel {
namespace Core {
namespace Impl {
namespace {

enum class Keyword {
  Version,
  Fields,
  Columns,
  Size,
  Type,
  Count,
  Width,
  Height,
  Viewpoint,
  Points,
  Data,
  Other
};

struct KeywordName {
  const char* text;
  Keyword keyword;
};

// Tested in this order, so that a key is taken as the first keyword it begins with.
const KeywordName kKeywords[] = {
    {"VERSION", Keyword::Version}, {"FIELDS", Keyword::Fields}, {"COLUMNS", Keyword::Columns},
    {"SIZE", Keyword::Size},       {"TYPE", Keyword::Type},     {"COUNT", Keyword::Count},
    {"WIDTH", Keyword::Width},     {"HEIGHT", Keyword::Height}, {"VIEWPOINT", Keyword::Viewpoint},
    {"POINTS", Keyword::Points},   {"DATA", Keyword::Data},
};

Keyword MatchKeyword(const std::string& key) {
  for (const KeywordName& name : kKeywords) {
    if (key.compare(0, std::char_traits<char>::length(name.text), name.text) == 0) {
      return name.keyword;
    }
  }
  return Keyword::Other;
}

// A count in base 10 (trailing text after the digits is ignored); `key` names it in problems.
std::string ParseNumber(const std::string& key, const std::string& text, int& value) {
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str()) return key + " value '" + PrintableText(text) + "' is not a number";
  if (errno == ERANGE || parsed < 0 || parsed > INT_MAX) {
    return key + " value " + PrintableText(text) + " is out of range";
  }
  value = static_cast<int>(parsed);
  return "";
}

// WIDTH, HEIGHT and POINTS.
std::string ParseCount(const std::vector<std::string>& fields, int& value) {
  const std::string key = PrintableText(fields[0]);
  if (fields.size() < 2) return key + " line has no value";
  return ParseNumber(key, fields[1], value);
}

// The values of a SIZE, TYPE or COUNT line, kept until FIELDS is known.
struct HeaderState {
  bool seenWidth = false, seenHeight = false, seenPoints = false, seenData = false;
  std::string dataMode;
  std::vector<std::string> names = {"x", "y", "z"};
  std::vector<std::string> sizes, types, counts;
};

std::string ApplyLine(const std::vector<std::string>& fields, PcdHeader& header,
                      HeaderState& state) {
  const std::vector<std::string> values(fields.begin() + 1, fields.end());
  switch (MatchKeyword(fields[0])) {
    case Keyword::Fields:
    case Keyword::Columns:
      state.names = values;
      return "";
    case Keyword::Size:
      state.sizes = values;
      return "";
    case Keyword::Type:
      state.types = values;
      return "";
    case Keyword::Count:
      state.counts = values;
      return "";
    case Keyword::Width:
      state.seenWidth = true;
      return ParseCount(fields, header.width);
    case Keyword::Height:
      state.seenHeight = true;
      return ParseCount(fields, header.height);
    case Keyword::Points:
      state.seenPoints = true;
      return ParseCount(fields, header.points);
    case Keyword::Data:
      state.seenData = true;
      state.dataMode = values.empty() ? "" : values[0];
      return "";
    default:
      return "";
  }
}

std::string CheckComplete(const HeaderState& state, PcdHeader& header) {
  if (!state.seenWidth) return "header has no WIDTH line";
  if (!state.seenHeight) return "header has no HEIGHT line";
  if (!state.seenPoints) return "header has no POINTS line";
  if (!state.seenData) return "header has no DATA line";
  if (state.dataMode == "ascii") {
    header.mode = PcdDataMode::Ascii;
  } else if (state.dataMode == "binary") {
    header.mode = PcdDataMode::Binary;
  } else if (state.dataMode == "binary_compressed") {
    header.mode = PcdDataMode::BinaryCompressed;
  } else {
    return "DATA mode '" + PrintableText(state.dataMode) +
           "' is not supported (ascii, binary and binary_compressed are read)";
  }
  return "";
}

// One SIZE, TYPE and COUNT per field; absent lines give 4, F and 1 to every field.
std::string CheckLineLength(const char* key, const std::vector<std::string>& values,
                            size_t fieldCount) {
  if (values.empty() || values.size() == fieldCount) return "";
  return std::string(key) + " line has " + std::to_string(values.size()) + " values for " +
         std::to_string(fieldCount) + " fields";
}

std::string ParseField(const HeaderState& state, size_t i, PcdField& field) {
  field.name = state.names[i];
  if (!state.sizes.empty()) {
    const std::string problem = ParseNumber("SIZE", state.sizes[i], field.size);
    if (!problem.empty()) return problem;
    if (field.size != 1 && field.size != 2 && field.size != 4 && field.size != 8) {
      return "SIZE value " + std::to_string(field.size) + " is not 1, 2, 4 or 8";
    }
  }
  if (!state.types.empty()) {
    const std::string& type = state.types[i];
    if (type != "F" && type != "I" && type != "U") {
      return "TYPE value '" + PrintableText(type) + "' is not F, I or U";
    }
    field.type = type[0];
  }
  if (!state.counts.empty()) {
    const std::string problem = ParseNumber("COUNT", state.counts[i], field.count);
    if (!problem.empty()) return problem;
    if (field.count < 1) return "COUNT value 0 is out of range";
  }
  return "";
}

std::string ParseFields(const HeaderState& state, PcdHeader& header) {
  const size_t n = state.names.size();
  std::string problem = CheckLineLength("SIZE", state.sizes, n);
  if (problem.empty()) problem = CheckLineLength("TYPE", state.types, n);
  if (problem.empty()) problem = CheckLineLength("COUNT", state.counts, n);
  header.fields.assign(n, PcdField());
  for (size_t i = 0; i < n && problem.empty(); ++i)
    problem = ParseField(state, i, header.fields[i]);
  return problem;
}

// Longer entries than this cannot be in any file the reader is given.
const long long kMaxEntryBytes = 1LL << 40;

// Fills the slots of x, y, z and rgb (the first field of each name) and the entry's length.
std::string LocateSlots(PcdHeader& header) {
  PcdSlot* named[] = {&header.x, &header.y, &header.z, &header.rgb};
  const char* names[] = {"x", "y", "z", "rgb"};
  long long value = 0, byte = 0;
  for (size_t f = 0; f < header.fields.size(); ++f) {
    const PcdField& field = header.fields[f];
    for (int k = 0; k < 4; ++k) {
      if (field.name != names[k] || named[k]->field >= 0) continue;
      *named[k] = PcdSlot{static_cast<int>(f), value, byte, field.size, field.type};
    }
    value += field.count;
    byte += static_cast<long long>(field.size) * field.count;
    if (byte > kMaxEntryBytes) return "an entry of more than 2^40 bytes is too large";
  }
  header.entryValues = value;
  header.entryBytes = byte;
  header.hasColour = header.rgb.field >= 0;
  return "";
}

std::string CheckSlot(const PcdHeader& header, const PcdSlot& slot, const char* name) {
  if (slot.field < 0) return std::string("FIELDS has no ") + name + " field";
  if (header.fields[static_cast<size_t>(slot.field)].count != 1) {
    return std::string("field ") + name + " has a COUNT other than 1";
  }
  return "";
}

// In the binary forms the values are read by their SIZE and TYPE.
std::string CheckBinarySlot(const PcdSlot& slot, const char* name) {
  if (slot.type != 'F' || (slot.size != 4 && slot.size != 8)) {
    return std::string("field ") + name + " is not a float of 4 or 8 bytes";
  }
  return "";
}

std::string CheckSlots(const PcdHeader& header) {
  std::string problem = CheckSlot(header, header.x, "x");
  if (problem.empty()) problem = CheckSlot(header, header.y, "y");
  if (problem.empty()) problem = CheckSlot(header, header.z, "z");
  if (problem.empty() && header.hasColour) problem = CheckSlot(header, header.rgb, "rgb");
  if (!problem.empty() || header.mode == PcdDataMode::Ascii) return problem;
  problem = CheckBinarySlot(header.x, "x");
  if (problem.empty()) problem = CheckBinarySlot(header.y, "y");
  if (problem.empty()) problem = CheckBinarySlot(header.z, "z");
  if (problem.empty() && header.hasColour && header.rgb.size != 4) {
    problem = "field rgb is not 4 bytes";
  }
  return problem;
}

// A text entry takes at least 4 bytes ("nan" and a separator), a binary one its entryBytes,
// a compressed one at least 1/88 of them (the most LZF expands); bigger grids cannot be in the
// file and must not size any allocation. The triangulation needs 8 values per entry.
std::string CheckGridSize(const PcdHeader& header, long long bodyBytes) {
  const long long entries = static_cast<long long>(header.width) * header.height;
  if (entries > INT_MAX / 8) return "WIDTH x HEIGHT = " + std::to_string(entries) + " is too large";
  bool fits = true;
  if (header.mode == PcdDataMode::Ascii) fits = 4 * entries <= bodyBytes + 1;
  if (header.mode == PcdDataMode::Binary) fits = entries <= bodyBytes / header.entryBytes;
  if (header.mode == PcdDataMode::BinaryCompressed) {
    fits = entries <= kLzfMaxExpansion * bodyBytes / header.entryBytes;
  }
  if (!fits)
    return "WIDTH x HEIGHT = " + std::to_string(entries) + " entries cannot fit in the file";
  return "";
}

}  // namespace

std::string ReadPcdHeader(std::istream& in, long long fileSize, PcdHeader& header) {
  HeaderState state;
  std::string line;
  while (!state.seenData && std::getline(in, line)) {
    const std::vector<std::string> fields = SplitWords(line);
    if (fields.empty() || fields[0][0] == '#') continue;
    const std::string problem = ApplyLine(fields, header, state);
    if (!problem.empty()) return problem;
  }
  std::string problem = CheckComplete(state, header);
  if (problem.empty()) problem = ParseFields(state, header);
  if (!problem.empty()) return problem;
  problem = LocateSlots(header);
  if (problem.empty()) problem = CheckSlots(header);
  if (!problem.empty()) return problem;
  const long long bodyStart = static_cast<long long>(in.tellg());
  header.bodyStart = bodyStart >= 0 ? bodyStart : fileSize;
  return CheckGridSize(header, fileSize - header.bodyStart);
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
