#include "core/io/library_readers.h"

#include <vtkCellArray.h>
#include <vtkErrorCode.h>
#include <vtkExecutive.h>
#include <vtkOBJReader.h>
#include <vtkPLYReader.h>
#include <vtkPolyData.h>
#include <vtkPolyDataReader.h>
#include <vtkSmartPointer.h>

#include <cstdio>
#include <string>

#include "core/io/crash_probe.h"
#include "core/io/legacy_vtk_check.h"
#include "core/io/ply_direct_reader.h"
#include "core/io/ply_header_check.h"
#include "core/io/read_support.h"

using Ostrel::Core::Impl::CheckLegacyVtkCells;
using Ostrel::Core::Impl::CheckPlyStructure;
using Ostrel::Core::Impl::IsReadableFile;
using Ostrel::Core::Impl::QuietVtkOutput;
using Ostrel::Core::Impl::ReportReadProblem;
using Ostrel::Core::Impl::StructureCheck;

namespace {

// What a library reader gave: the mesh, or an error code and what we know of the problem.
struct ReadOutcome {
  vtkSmartPointer<vtkPolyData> mesh;
  int code = vtkErrorCode::NoError;
  std::string problem;  // empty when the error code says all we know

  bool failed() const { return code != vtkErrorCode::NoError; }
  const char* codeText() const { return vtkErrorCode::GetStringFromErrorCode(code); }
};

ReadOutcome Failure(int code, const std::string& problem) {
  ReadOutcome outcome;
  outcome.code = code;
  outcome.problem = problem;
  return outcome;
}

// A damaged file can make a reader emit cells whose ids point past the points, or whose
// offsets run backwards or past the ids (a negative point count in a legacy file does): every
// later walk over such cells would read outside them.
bool OffsetsAreSound(vtkCellArray* cells) {
  vtkDataArray* offsets = cells->GetOffsetsArray();
  const vtkIdType offsetCount = offsets->GetNumberOfTuples();
  const double idCount = static_cast<double>(cells->GetConnectivityArray()->GetNumberOfTuples());
  if (offsetCount == 0) return idCount == 0;
  double previous = 0.0;
  for (vtkIdType i = 0; i < offsetCount; ++i) {
    const double offset = offsets->GetComponent(i, 0);
    if (offset < previous || (i == 0 && offset != 0.0)) return false;
    previous = offset;
  }
  return previous == idCount;
}

bool CellIdsInRange(vtkCellArray* cells, vtkIdType pointCount) {
  if (cells == nullptr) return true;
  if (!OffsetsAreSound(cells)) return false;
  vtkDataArray* connectivity = cells->GetConnectivityArray();
  if (connectivity->GetNumberOfTuples() == 0) return true;
  double range[2];
  connectivity->GetRange(range, 0);
  return range[0] >= 0 && range[1] < static_cast<double>(pointCount);
}

bool AllCellIdsInRange(vtkPolyData* mesh) {
  const vtkIdType points = mesh->GetNumberOfPoints();
  return CellIdsInRange(mesh->GetVerts(), points) && CellIdsInRange(mesh->GetLines(), points) &&
         CellIdsInRange(mesh->GetPolys(), points) && CellIdsInRange(mesh->GetStrips(), points);
}

// Runs `reader` on `path` with VTK's own console output silenced. The readers report some
// failures (a missing or empty file) only through the pipeline's status, never through their
// error code, so that status and the file's openability are checked too.
template <class Reader>
ReadOutcome ReadWith(Reader* reader, const char* path) {
  if (!IsReadableFile(path)) return Failure(vtkErrorCode::CannotOpenFileError, "");
  QuietVtkOutput quiet;
  reader->SetFileName(path);
  if (!Ostrel::Core::Impl::SurvivesInChildProcess([reader] { reader->GetExecutive()->Update(); })) {
    return Failure(vtkErrorCode::FileFormatError, "the reader fails on this damaged file");
  }
  const int updated = reader->GetExecutive()->Update();
  const int code = static_cast<int>(reader->GetErrorCode());
  if (code != vtkErrorCode::NoError) return Failure(code, "the library's reader refuses the file");
  if (!updated) return Failure(vtkErrorCode::FileFormatError, "the reader cannot read it");
  vtkPolyData* output = reader->GetOutput();
  if (!AllCellIdsInRange(output)) {
    return Failure(vtkErrorCode::FileFormatError,
                   "its cells are damaged or refer to missing points");
  }
  ReadOutcome outcome;
  outcome.mesh = vtkSmartPointer<vtkPolyData>::New();
  outcome.mesh->ShallowCopy(output);
  return outcome;
}

// Reads `path` with a new `Reader` when the structural check before it found nothing wrong.
template <class Reader>
ReadOutcome ReadChecked(const StructureCheck& check, const char* path) {
  if (!check.ok()) return Failure(check.errorCode, check.problem);
  auto reader = vtkSmartPointer<Reader>::New();
  return ReadWith(reader.Get(), path);
}

// Hands the caller its own reference to the mesh, or prints the failure: the loader's own line
// (`printHead`), then, when more is known than the error code, the problem in the readers'
// common style.
template <class PrintHead>
vtkPolyData* Release(const ReadOutcome& outcome, const char* loader, const char* path,
                     PrintHead printHead) {
  if (outcome.failed()) {
    printHead();
    if (!outcome.problem.empty()) ReportReadProblem(loader, path, outcome.problem);
    std::fflush(stdout);
    return nullptr;
  }
  vtkPolyData* mesh = outcome.mesh;
  mesh->Register(nullptr);
  return mesh;
}

}  // namespace

vtkPolyData* LoadPly(const char* path) {
  ReadOutcome outcome;
  if (!IsReadableFile(path)) {
    outcome = Failure(vtkErrorCode::CannotOpenFileError, "");
  } else if (vtkPolyData* mesh = Ostrel::Core::Impl::ReadSimpleBinaryPly(path)) {
    // The common binary layout is read directly; every other file, and any file this reader
    // finds fault with, takes vtkPLYReader's road, whose messages stay as they were.
    return mesh;
  } else {
    // vtkPLYReader crashes on truncated binary data, so the structure is checked first.
    outcome = ReadChecked<vtkPLYReader>(CheckPlyStructure(path), path);
  }
  return Release(outcome, "LoadPly", path,
                 [&] { std::printf("\nERROR LoadPly: %s\n", outcome.codeText()); });
}

vtkPolyData* LoadVtk(const char* path) {
  // vtkPolyDataReader crashes on damaged cell lists, so they are checked first.
  const StructureCheck check = IsReadableFile(path) ? CheckLegacyVtkCells(path) : StructureCheck{};
  const ReadOutcome outcome = ReadChecked<vtkPolyDataReader>(check, path);
  return Release(outcome, "LoadVtk", path,
                 [&] { std::printf("\nERROR LoadVtk: %s\n", outcome.codeText()); });
}

vtkPolyData* LoadOBJ(const char* path) {
  auto reader = vtkSmartPointer<vtkOBJReader>::New();
  const ReadOutcome outcome = ReadWith(reader.Get(), path);
  return Release(outcome, "LoadOBJ", path, [&] {
    std::printf("ERROR loading OBJ %s\nerror Code: %d, Description: %s\n", path, outcome.code,
                outcome.codeText());
  });
}
