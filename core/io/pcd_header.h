#pragma once
// The header of a PCD file in text form: the keywords the reader uses and their checks.

#include <istream>
#include <string>

namespace Ostrel {
namespace Core {
namespace Impl {

struct PcdHeader {
  int width = 0;
  int height = 0;
  int points = 0;
  bool hasColour = false;  // a FIELDS or COLUMNS line names "rgb"
};

// Reads header lines from `in` up to and including the DATA line, leaving the stream at the
// body. Keys are matched by their beginning (WIDTHS counts as WIDTH), '#' keys are comments.
// Returns a problem text, empty when the header is usable: WIDTH, HEIGHT and POINTS present,
// numbers in range, a DATA line in ascii mode, and no more entries than the rest of the file
// (`fileSize` bytes in all) can hold.
std::string ReadPcdHeader(std::istream& in, long long fileSize, PcdHeader& header);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
