#include "core/io/load_vert_tri.h"

#include <vtkCellArray.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "core/io/read_support.h"

using Ostrel::Core::Impl::OpenTextFile;
using Ostrel::Core::Impl::ReportReadProblem;

namespace {

// Both files are plain streams of numbers; reading stops at the first incomplete triple.
bool ReadTriple(std::istream& in, double (&values)[3]) {
  return static_cast<bool>(in >> values[0] >> values[1] >> values[2]);
}

void ReadVertices(std::istream& in, vtkPoints* points) {
  double xyz[3];
  while (ReadTriple(in, xyz)) points->InsertNextPoint(xyz);
}

// Triangle numbers are 1-based and may be written as floating-point numbers; a number is
// valid when truncating it minus one gives an id of an existing vertex and it is above 0.
bool ToPointId(double number, vtkIdType pointCount, vtkIdType& id) {
  // The range test comes first so that the conversion below is always defined. The id is
  // checked again: a number just above 0 truncates to id 0, which a file without vertices does
  // not have, and a tiny one (1e-300) gives exactly -1.0 once 1 is subtracted.
  if (!(number > 0.0 && number < static_cast<double>(pointCount) + 1.0)) return false;
  id = static_cast<vtkIdType>(number - 1.0);
  return id >= 0 && id < pointCount;
}

// Returns a problem text, empty on success.
std::string ReadTriangles(std::istream& in, vtkIdType pointCount, vtkCellArray* cells) {
  double numbers[3];
  for (long long triangle = 1; ReadTriple(in, numbers); ++triangle) {
    vtkIdType ids[3];
    for (int k = 0; k < 3; ++k) {
      if (!ToPointId(numbers[k], pointCount, ids[k])) {
        std::ostringstream problem;
        problem << "triangle " << triangle << " names vertex " << numbers[k]
                << ", but the vertices are numbered 1 to " << pointCount;
        return problem.str();
      }
    }
    cells->InsertNextCell(3, ids);
  }
  return "";
}

}  // namespace

vtkPolyData* LoadVertTri(const char* basePath) {
  const std::string vertPath = std::string(basePath) + ".vert";
  const std::string triPath = std::string(basePath) + ".tri";
  std::ifstream vertFile;
  std::ifstream triFile;
  const bool vertOpen = OpenTextFile(vertPath.c_str(), vertFile);
  const bool triOpen = vertOpen && OpenTextFile(triPath.c_str(), triFile);
  if (!vertOpen || !triOpen) {
    std::cerr << "file " << (vertOpen ? triPath : vertPath) << " could not be opened" << std::endl;
    return nullptr;
  }
  auto points = vtkSmartPointer<vtkPoints>::New();
  auto cells = vtkSmartPointer<vtkCellArray>::New();
  ReadVertices(vertFile, points);
  const std::string problem = ReadTriangles(triFile, points->GetNumberOfPoints(), cells);
  if (!problem.empty()) {
    ReportReadProblem("LoadVertTri", triPath, problem);
    return nullptr;
  }
  vtkPolyData* mesh = vtkPolyData::New();
  mesh->SetPoints(points);
  mesh->SetPolys(cells);
  return mesh;
}
