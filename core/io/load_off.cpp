#include "core/io/load_off.h"

#include <vtkCellArray.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "core/io/read_support.h"

using Ostrel::Core::Impl::FileSizeOf;
using Ostrel::Core::Impl::IsBlankLine;
using Ostrel::Core::Impl::OpenTextFile;
using Ostrel::Core::Impl::PrintableText;
using Ostrel::Core::Impl::ReportReadProblem;

namespace {

struct OffCounts {
  int vertices = 0;
  int faces = 0;
};

void SkipRestOfLine(std::istream& in) {
  in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
}

bool IsSkippedLine(const std::string& line) {
  return IsBlankLine(line) || line[0] == '#';
}

std::string Counted(int done, int total, const char* what) {
  return std::to_string(done) + " of " + std::to_string(total) + " " + what;
}

// Reads past the header line to the counts line. Returns a problem text, empty on success.
std::string ReadCounts(std::istream& in, long long fileSize, OffCounts& counts) {
  std::string line;
  if (!std::getline(in, line)) return "file ends before its counts line";
  do {
    if (!std::getline(in, line)) return "file ends before its counts line";
  } while (IsSkippedLine(line));
  std::istringstream fields(line);
  fields.imbue(std::locale::classic());
  if (!(fields >> counts.vertices >> counts.faces)) {
    return "counts line '" + PrintableText(line) +
           "' does not start with the vertex and face counts";
  }
  if (counts.vertices < 0 || counts.faces < 0) {
    return "negative counts in '" + PrintableText(line) + "'";
  }
  // A vertex takes at least 6 bytes ("0 0 0" and a separator), a face at least 4 ("1 0" and a
  // separator): counts beyond that cannot be in the file and must not size any allocation.
  if (6LL * counts.vertices + 4LL * counts.faces > fileSize + 1) {
    return "counts line '" + PrintableText(line) + "' declares more than the file can hold";
  }
  return "";
}

// Vertex lines; a line starting with a space or '#' is skipped and not counted.
std::string ReadVertices(std::istream& in, int count, vtkPoints* points) {
  points->SetNumberOfPoints(count);
  for (int i = 0; i < count;) {
    const int next = in.peek();
    if (next == std::char_traits<char>::eof())
      return "file ends after " + Counted(i, count, "vertices");
    // Empty lines are passed over the same way, so that an indented line after one is
    // still skipped rather than read as a vertex.
    if (next == ' ' || next == '#' || next == '\n' || next == '\r') {
      SkipRestOfLine(in);
      continue;
    }
    double x, y, z;
    if (!(in >> x >> y >> z)) {
      if (in.eof()) return "file ends after " + Counted(i, count, "vertices");
      return "vertex " + std::to_string(i + 1) + " is not three numbers";
    }
    points->SetPoint(i, x, y, z);
    SkipRestOfLine(in);
    ++i;
  }
  return "";
}

// Parses one face line into `ids`, checking each id against the vertex count.
std::string ParseFace(std::istringstream& fields, int face, int vertexCount,
                      std::vector<vtkIdType>& ids) {
  const std::string name = "face " + std::to_string(face + 1);
  long long size = 0;
  if (!(fields >> size)) return name + " does not start with its number of points";
  if (size <= 0) return name + " has " + std::to_string(size) + " points";
  ids.clear();
  for (long long j = 0; j < size; ++j) {
    long long id = 0;
    if (!(fields >> id)) return name + " has fewer than " + std::to_string(size) + " point ids";
    if (id < 0 || id >= vertexCount) {
      return name + " refers to vertex " + std::to_string(id) + " of " +
             std::to_string(vertexCount);
    }
    ids.push_back(static_cast<vtkIdType>(id));
  }
  return "";
}

std::string ReadFaces(std::istream& in, int count, int vertexCount, vtkCellArray* cells) {
  cells->AllocateEstimate(count, 3);
  std::string line;
  std::istringstream fields;
  fields.imbue(std::locale::classic());
  std::vector<vtkIdType> ids;
  for (int f = 0; f < count;) {
    if (!std::getline(in, line)) return "file ends after " + Counted(f, count, "faces");
    if (IsSkippedLine(line)) continue;
    fields.clear();
    fields.str(line);
    const std::string problem = ParseFace(fields, f, vertexCount, ids);
    if (!problem.empty()) return problem;
    cells->InsertNextCell(static_cast<vtkIdType>(ids.size()), ids.data());
    ++f;
  }
  return "";
}

}  // namespace

vtkPolyData* LoadOff(const char* path) {
  std::ifstream in;
  if (!OpenTextFile(path, in)) {
    std::perror("Problems opening OFF file");
    return nullptr;
  }
  OffCounts counts;
  auto points = vtkSmartPointer<vtkPoints>::New();
  auto cells = vtkSmartPointer<vtkCellArray>::New();
  std::string problem = ReadCounts(in, FileSizeOf(path), counts);
  if (problem.empty()) problem = ReadVertices(in, counts.vertices, points);
  if (problem.empty()) problem = ReadFaces(in, counts.faces, counts.vertices, cells);
  if (!problem.empty()) {
    ReportReadProblem("LoadOff", path, problem);
    return nullptr;
  }
  vtkPolyData* mesh = vtkPolyData::New();
  mesh->SetPoints(points);
  mesh->SetPolys(cells);
  return mesh;
}
