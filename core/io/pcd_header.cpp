#include "core/io/pcd_header.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

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

// Fields of a line: trimmed, split at runs of blanks, tabs and carriage returns.
std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  const char* separators = " \t\r\n\v\f";
  size_t start = line.find_first_not_of(separators);
  while (start != std::string::npos) {
    const size_t end = line.find_first_of(" \t\r\n\v\f", start);
    fields.push_back(line.substr(start, end - start));
    start = end == std::string::npos ? end : line.find_first_not_of(separators, end);
  }
  return fields;
}

// WIDTH, HEIGHT and POINTS: a count in base 10 (trailing text after the digits is ignored).
std::string ParseCount(const std::vector<std::string>& fields, int& value) {
  const std::string& key = fields[0];
  if (fields.size() < 2) return key + " line has no value";
  const char* text = fields[1].c_str();
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text, &end, 10);
  if (end == text) return key + " value '" + fields[1] + "' is not a number";
  if (errno == ERANGE || parsed < 0 || parsed > INT_MAX) {
    return key + " value " + fields[1] + " is out of range";
  }
  value = static_cast<int>(parsed);
  return "";
}

bool NamesRgb(const std::vector<std::string>& fields) {
  for (const std::string& field : fields) {
    if (field == "rgb") return true;
  }
  return false;
}

struct HeaderState {
  bool seenWidth = false, seenHeight = false, seenPoints = false, seenData = false;
  std::string dataMode;
};

std::string ApplyLine(const std::vector<std::string>& fields, PcdHeader& header,
                      HeaderState& state) {
  switch (MatchKeyword(fields[0])) {
    case Keyword::Fields:
    case Keyword::Columns:
      header.hasColour = header.hasColour || NamesRgb(fields);
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
      state.dataMode = fields.size() > 1 ? fields[1] : "";
      return "";
    default:
      return "";
  }
}

std::string CheckComplete(const HeaderState& state) {
  if (!state.seenWidth) return "header has no WIDTH line";
  if (!state.seenHeight) return "header has no HEIGHT line";
  if (!state.seenPoints) return "header has no POINTS line";
  if (!state.seenData) return "header has no DATA line";
  // Binary bodies would be parsed as text and give garbage.
  if (state.dataMode != "ascii") {
    return "DATA mode '" + state.dataMode + "' is not supported (only ascii is read)";
  }
  return "";
}

// Every entry takes at least 4 bytes ("nan" and a separator); bigger grids cannot be in the
// file and must not size any allocation. The triangulation needs 8 values per entry.
std::string CheckGridSize(const PcdHeader& header, long long bodyBytes) {
  const long long entries = static_cast<long long>(header.width) * header.height;
  if (entries > INT_MAX / 8) return "WIDTH x HEIGHT = " + std::to_string(entries) + " is too large";
  if (4 * entries > bodyBytes + 1) {
    return "WIDTH x HEIGHT = " + std::to_string(entries) + " entries cannot fit in the file";
  }
  return "";
}

}  // namespace

std::string ReadPcdHeader(std::istream& in, long long fileSize, PcdHeader& header) {
  HeaderState state;
  std::string line;
  while (!state.seenData && std::getline(in, line)) {
    const std::vector<std::string> fields = SplitFields(line);
    if (fields.empty() || fields[0][0] == '#') continue;
    const std::string problem = ApplyLine(fields, header, state);
    if (!problem.empty()) return problem;
  }
  std::string problem = CheckComplete(state);
  if (!problem.empty()) return problem;
  const long long bodyStart = static_cast<long long>(in.tellg());
  return CheckGridSize(header, bodyStart >= 0 ? fileSize - bodyStart : 0);
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
