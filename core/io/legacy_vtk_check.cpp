#include "core/io/legacy_vtk_check.h"

#include <vtkErrorCode.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>

namespace Ostrel {
namespace Core {
namespace Impl {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool ParseInteger(const std::string& word, long long& value) {
  char* end = nullptr;
  value = std::strtoll(word.c_str(), &end, 10);
  return end != word.c_str() && *end == '\0';
}

// Token reader over the body with the numbers' checks.
class LegacyTokens {
 public:
  explicit LegacyTokens(std::istream& in) : in_(in) {}

  bool next(std::string& word) {
    if (pending_.empty()) return static_cast<bool>(in_ >> word);
    word.swap(pending_);
    pending_.clear();
    return true;
  }

  // Hands `word` out again on the next call.
  void putBack(const std::string& word) { pending_ = word; }

  // A count or id of at least 0.
  // A count or id; bounded so that sums and multiples of counts cannot overflow (no legacy file
  // holds more than INT_MAX values of one section).
  bool nextCount(long long& value) {
    std::string word;
    return next(word) && ParseInteger(word, value) && value >= 0 &&
           value <= std::numeric_limits<int>::max();
  }

  bool skip(long long words) {
    std::string word;
    for (long long i = 0; i < words; ++i) {
      if (!next(word)) return false;
    }
    return true;
  }

 private:
  std::istream& in_;
  std::string pending_;
};

bool ReadId(LegacyTokens& tokens, long long pointCount) {
  long long id = 0;
  return tokens.nextCount(id) && id < pointCount;
}

// Classic list: `size` values forming `cells` records of a count and that many ids.
bool WalkClassicCells(LegacyTokens& tokens, long long firstCount, long long cells, long long size,
                      long long pointCount) {
  long long consumed = 0;
  for (long long cell = 0; cell < cells; ++cell) {
    long long count = firstCount;
    if (cell > 0 && !tokens.nextCount(count)) return false;
    consumed += 1 + count;
    if (consumed > size) return false;
    for (long long k = 0; k < count; ++k) {
      if (!ReadId(tokens, pointCount)) return false;
    }
  }
  return consumed == size;
}

// OFFSETS type, `offsets` rising values from 0, CONNECTIVITY type, `size` ids.
bool WalkOffsetCells(LegacyTokens& tokens, long long offsets, long long size,
                     long long pointCount) {
  std::string word;
  long long previous = 0;
  if (!tokens.next(word)) return false;  // the offsets' type
  for (long long i = 0; i < offsets; ++i) {
    long long offset = 0;
    if (!tokens.nextCount(offset) || offset < previous || (i == 0 && offset != 0)) return false;
    previous = offset;
  }
  if (previous != size || !tokens.next(word) || Lower(word) != "connectivity") return false;
  if (!tokens.next(word)) return false;  // the connectivity's type
  for (long long i = 0; i < size; ++i) {
    if (!ReadId(tokens, pointCount)) return false;
  }
  return true;
}

bool WalkCellSection(LegacyTokens& tokens, long long pointCount) {
  long long cells = 0, size = 0;
  std::string first;
  if (!tokens.nextCount(cells) || !tokens.nextCount(size)) return false;
  if (!tokens.next(first)) return cells == 0 && size == 0;
  if (Lower(first) == "offsets") return WalkOffsetCells(tokens, cells, size, pointCount);
  if (cells == 0) {
    tokens.putBack(first);  // it belongs to the next section
    return size == 0;
  }
  long long firstCount = 0;
  return ParseInteger(first, firstCount) && firstCount >= 0 &&
         WalkClassicCells(tokens, firstCount, cells, size, pointCount);
}

bool IsCellKeyword(const std::string& word) {
  return word == "vertices" || word == "lines" || word == "polygons" || word == "triangle_strips";
}

StructureCheck WalkSections(LegacyTokens& tokens) {
  long long pointCount = 0;
  std::string word;
  while (tokens.next(word)) {
    const std::string keyword = Lower(word);
    if (keyword == "points") {
      std::string type;
      if (!tokens.nextCount(pointCount) || !tokens.next(type) || !tokens.skip(3 * pointCount)) {
        return StructureCheck::Failure(vtkErrorCode::PrematureEndOfFileError,
                                       "POINTS section ends early");
      }
    } else if (IsCellKeyword(keyword)) {
      if (!WalkCellSection(tokens, pointCount)) {
        return StructureCheck::Failure(
            vtkErrorCode::FileFormatError,
            word + " section is damaged or names points that do not exist");
      }
    } else if (keyword != "dataset" && keyword != "polydata") {
      break;  // attribute data and anything after it: the reader's own business
    }
  }
  return StructureCheck{};
}

}  // namespace

StructureCheck CheckLegacyVtkCells(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  if (!std::getline(in, line) || line.rfind("# vtk DataFile", 0) != 0) {
    return StructureCheck::Failure(vtkErrorCode::UnrecognizedFileTypeError,
                                   "not a legacy VTK file");
  }
  std::string title, form;
  if (!std::getline(in, title) || !std::getline(in, form)) {
    return StructureCheck::Failure(vtkErrorCode::PrematureEndOfFileError, "header ends early");
  }
  if (Lower(form).rfind("ascii", 0) != 0) return StructureCheck{};
  LegacyTokens tokens(in);
  return WalkSections(tokens);
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
