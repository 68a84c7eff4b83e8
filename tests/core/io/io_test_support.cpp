#include "io_test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vtkCellArray.h>
#include <vtkIdList.h>

#include <cstdio>
#include <iostream>

namespace ardentis_io_test {

namespace {

bool CellsInRange(vtkCellArray* cells, vtkIdType pointCount) {
  if (cells == nullptr) return true;
  auto ids = vtkSmartPointer<vtkIdList>::New();
  for (vtkIdType cell = 0; cell < cells->GetNumberOfCells(); ++cell) {
    cells->GetCellAtId(cell, ids);
    for (vtkIdType k = 0; k < ids->GetNumberOfIds(); ++k) {
      if (ids->GetId(k) < 0 || ids->GetId(k) >= pointCount) return false;
    }
  }
  return true;
}

}  // namespace

bool CellIdsInRange(vtkPolyData* mesh) {
  const vtkIdType points = mesh->GetNumberOfPoints();
  return CellsInRange(mesh->GetVerts(), points) && CellsInRange(mesh->GetLines(), points) &&
         CellsInRange(mesh->GetPolys(), points) && CellsInRange(mesh->GetStrips(), points);
}

std::vector<vtkIdType> PolygonIds(vtkPolyData* mesh, vtkIdType cell) {
  auto ids = vtkSmartPointer<vtkIdList>::New();
  mesh->GetPolys()->GetCellAtId(cell, ids);
  return std::vector<vtkIdType>(ids->begin(), ids->end());
}

std::vector<double> PointAt(vtkPolyData* mesh, vtkIdType id) {
  double xyz[3];
  mesh->GetPoint(id, xyz);
  return {xyz[0], xyz[1], xyz[2]};
}

std::string StdoutOf(const std::function<void()>& action) {
  testing::internal::CaptureStdout();
  action();
  std::fflush(stdout);
  std::cout.flush();
  return testing::internal::GetCapturedStdout();
}

std::string StderrOf(const std::function<void()>& action) {
  testing::internal::CaptureStderr();
  action();
  std::fflush(stderr);
  std::cerr.flush();
  return testing::internal::GetCapturedStderr();
}

Silenced::Silenced() {
  std::fflush(stdout);
  std::fflush(stderr);
  savedOut_ = dup(1);
  savedErr_ = dup(2);
  const int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  dup2(null, 2);
  close(null);
}

Silenced::~Silenced() {
  std::fflush(stdout);
  std::fflush(stderr);
  std::cout.flush();
  std::cerr.flush();
  dup2(savedOut_, 1);
  dup2(savedErr_, 2);
  close(savedOut_);
  close(savedErr_);
}

}  // namespace ardentis_io_test
