#include "io_test_support.h"

#include <gtest/gtest.h>
#include <vtkCellArray.h>
#include <vtkIdList.h>
#include <vtkNew.h>

#include <cstdio>
#include <iostream>

namespace ardentis_io_test {

bool CellIdsInRange(vtkPolyData* mesh) {
  vtkNew<vtkIdList> ids;
  for (vtkCellArray* cells :
       {mesh->GetVerts(), mesh->GetLines(), mesh->GetPolys(), mesh->GetStrips()}) {
    for (vtkIdType cell = 0; cells != nullptr && cell < cells->GetNumberOfCells(); ++cell) {
      cells->GetCellAtId(cell, ids);
      for (vtkIdType id : *ids)
        if (id < 0 || id >= mesh->GetNumberOfPoints()) return false;
    }
  }
  return true;
}

std::vector<vtkIdType> PolygonIds(vtkPolyData* mesh, vtkIdType cell) {
  vtkNew<vtkIdList> ids;
  mesh->GetPolys()->GetCellAtId(cell, ids);
  return std::vector<vtkIdType>(ids->begin(), ids->end());
}

std::vector<double> PointAt(vtkPolyData* mesh, vtkIdType id) {
  const double* xyz = mesh->GetPoint(id);
  return {xyz[0], xyz[1], xyz[2]};
}

std::string StdoutOf(const std::function<void()>& action) {
  testing::internal::CaptureStdout();
  action();
  std::cout.flush();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

std::string StderrOf(const std::function<void()>& action) {
  testing::internal::CaptureStderr();
  action();
  std::cerr.flush();
  std::fflush(stderr);
  return testing::internal::GetCapturedStderr();
}

}  // namespace ardentis_io_test
