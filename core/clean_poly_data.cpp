#include "core/clean_poly_data.h"

#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkCleanPolyData.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include "core/clean_mesh_check.h"

namespace Ostrel {
namespace Core {
namespace Impl {

namespace {

vtkIdType CellCount(vtkCellArray* cells) {
  return cells != nullptr ? cells->GetNumberOfCells() : 0;
}

// Cell data runs over vertices, lines, polygons and strips in that order. Keeping only the
// polygons' tuples keeps every remaining tuple on its own cell once the other lists are gone.
void KeepPolygonCellData(vtkPolyData* mesh) {
  vtkCellData* cellData = mesh->GetCellData();
  if (cellData->GetNumberOfArrays() == 0) {
    return;
  }
  const vtkIdType first = CellCount(mesh->GetVerts()) + CellCount(mesh->GetLines());
  const vtkIdType polygonCount = CellCount(mesh->GetPolys());
  auto kept = vtkSmartPointer<vtkCellData>::New();
  kept->CopyAllocate(cellData, polygonCount);
  for (vtkIdType cell = 0; cell < polygonCount; ++cell) {
    kept->CopyData(cellData, first + cell, cell);
  }
  cellData->ShallowCopy(kept);
}

// A mesh without a list of some kind hands out VTK's one shared empty list, which meshes
// cleaned on other threads read: only a list with cells is written.
void ResetIfPresent(vtkCellArray* cells) {
  if (cells != nullptr && cells->GetNumberOfCells() > 0) {
    cells->Reset();
  }
}

}  // namespace

void RemoveNotPolysCells(vtkPolyData* mesh) {
  if (mesh == nullptr) {
    return;
  }
  const vtkIdType others =
      CellCount(mesh->GetVerts()) + CellCount(mesh->GetLines()) + CellCount(mesh->GetStrips());
  if (others == 0) {
    return;
  }
  KeepPolygonCellData(mesh);
  ResetIfPresent(mesh->GetLines());
  ResetIfPresent(mesh->GetStrips());
  ResetIfPresent(mesh->GetVerts());
  // Cell ids have shifted: drop the random-access cell map and links built from the old lists.
  mesh->DeleteCells();
  mesh->Modified();
}

void CleanPolyData(vtkPolyData* mesh, bool merge, double tolerance, bool polygonsOnly) {
  if (mesh == nullptr) {
    return;
  }
  if (polygonsOnly) {
    RemoveNotPolysCells(mesh);
  }
  // The filter costs far more than reading the mesh; the common meshes (exact copies of
  // vertices, unused vertices, triangles collapsing onto them) get its result without it.
  if (!polygonsOnly || !merge || tolerance != 0.0 || !CleanWithoutFilter(mesh)) {
    auto cleaner = vtkSmartPointer<vtkCleanPolyData>::New();
    cleaner->SetInputData(mesh);
    cleaner->SetAbsoluteTolerance(tolerance);
    cleaner->SetPointMerging(merge);
    cleaner->ToleranceIsAbsoluteOn();
    cleaner->Update();
    // The mesh object stays the same for every holder of a pointer to it; only its content is
    // taken over from the filter's output.
    mesh->ShallowCopy(cleaner->GetOutput());
  }
  if (polygonsOnly) {
    RemoveNotPolysCells(mesh);
  }
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
