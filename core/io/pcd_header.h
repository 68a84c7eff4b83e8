#pragma once
// The header of a PCD file: the keywords the reader uses, their checks, and the layout of one
// body entry that FIELDS (or COLUMNS), SIZE, TYPE and COUNT describe.

#include <istream>
#include <string>
#include <vector>

namespace Ostrel {
namespace Core {
namespace Impl {

enum class PcdDataMode { Ascii, Binary, BinaryCompressed };

// One FIELDS entry with its SIZE (bytes per value), TYPE (F, I or U) and COUNT (values).
struct PcdField {
  std::string name;
  int size = 4;
  char type = 'F';
  int count = 1;
};

// Where one of x, y, z, rgb lies in an entry: its value index in the text form, its byte
// offset in the binary form, and its field's SIZE and TYPE. `field` is -1 when it is absent.
struct PcdSlot {
  int field = -1;
  long long value = 0;
  long long byte = 0;
  int size = 4;
  char type = 'F';
};

struct PcdHeader {
  int width = 0;
  int height = 0;
  int points = 0;
  bool hasColour = false;  // a field named "rgb"
  PcdDataMode mode = PcdDataMode::Ascii;
  std::vector<PcdField> fields;  // "x y z", each F 4 1, when the header has no FIELDS line
  PcdSlot x, y, z, rgb;
  long long entryValues = 3;  // values per entry in the text form
  long long entryBytes = 12;  // bytes per entry in the binary forms
  long long bodyStart = 0;    // offset of the body in the file
};

// LZF never expands more than 88 times (a 3-byte back reference copies at most 264 bytes):
// a compressed body claiming more is damaged.
const long long kLzfMaxExpansion = 88;

// Reads header lines from `in` up to and including the DATA line, leaving the stream at the
// body. Keys are matched by their beginning (WIDTHS counts as WIDTH), '#' keys are comments.
// Returns a problem text, empty when the header is usable: WIDTH, HEIGHT and POINTS present,
// numbers in range, SIZE, TYPE and COUNT matching FIELDS, fields x, y and z present (single
// floats of 4 or 8 bytes in the binary forms, rgb of 4 bytes), DATA ascii, binary or
// binary_compressed, and no more entries than the rest of the file (`fileSize` bytes in all)
// can hold.
std::string ReadPcdHeader(std::istream& in, long long fileSize, PcdHeader& header);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
