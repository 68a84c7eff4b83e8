#pragma once
// Structural check of a PLY file before it reaches vtkPLYReader, which crashes on damaged
// binary files and sizes its arrays by the header's counts before reading any data.

#include <string>

namespace Ostrel {
namespace Core {
namespace Impl {

// Outcome of CheckPlyStructure.
struct PlyCheck {
  int errorCode = 0;    // a vtkErrorCode value; 0 when the file may be handed to the reader
  std::string problem;  // what is wrong, for the loader's message; empty when sound

  bool ok() const { return errorCode == 0; }
};

// Checks that `path` starts with a PLY header that parses ("ply", a known format, elements
// with properties of known types, "end_header"), that the counts fit in what the file can
// hold, and, for a binary file, that the body is exactly as long as the elements need: rows
// of fixed size are skipped in one step, rows with lists are walked reading only the list
// lengths. Ascii bodies are checked for the length bound only.
PlyCheck CheckPlyStructure(const char* path);

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
