#include "prepare/visible_surface.h"

#include <vtkCellArray.h>
#include <vtkIdList.h>
#include <vtkPoints.h>

#include "prepare/visible_vertices.h"

namespace Ostrel {
namespace Prepare {
namespace {

// Polygons whose vertices are all visible.
std::vector<bool> keptPolygons(vtkPolyData* mesh, const std::vector<std::uint8_t>& visible) {
  std::vector<bool> kept;
  auto ids = vtkSmartPointer<vtkIdList>::New();
  vtkCellArray* cells = mesh->GetPolys();
  for (cells->InitTraversal(); cells->GetNextCell(ids);) {
    bool all = true;
    for (vtkIdType k = 0; k < ids->GetNumberOfIds(); ++k) all = all && visible[ids->GetId(k)] != 0;
    kept.push_back(all);
  }
  return kept;
}

}  // namespace

vtkSmartPointer<vtkPolyData> visiblePolygons(vtkPolyData* mesh,
                                             const std::vector<std::uint8_t>& visible) {
  const std::vector<bool> kept = keptPolygons(mesh, visible);
  vtkCellArray* cells = mesh->GetPolys();
  auto ids = vtkSmartPointer<vtkIdList>::New();
  std::vector<vtkIdType> newId(static_cast<size_t>(mesh->GetNumberOfPoints()), -1);
  for (vtkIdType c = 0; c < cells->GetNumberOfCells(); ++c) {
    if (!kept[c]) continue;
    cells->GetCellAtId(c, ids);
    for (vtkIdType k = 0; k < ids->GetNumberOfIds(); ++k) newId[ids->GetId(k)] = 0;
  }
  auto points = vtkSmartPointer<vtkPoints>::New();
  if (mesh->GetPoints() != nullptr) points->SetDataType(mesh->GetPoints()->GetDataType());
  for (size_t i = 0; i < newId.size(); ++i) {
    if (newId[i] == 0)
      newId[i] = points->InsertNextPoint(mesh->GetPoint(static_cast<vtkIdType>(i)));
  }
  auto polygons = vtkSmartPointer<vtkCellArray>::New();
  for (vtkIdType c = 0; c < cells->GetNumberOfCells(); ++c) {
    if (!kept[c]) continue;
    cells->GetCellAtId(c, ids);
    for (vtkIdType k = 0; k < ids->GetNumberOfIds(); ++k) ids->SetId(k, newId[ids->GetId(k)]);
    polygons->InsertNextCell(ids);
  }
  auto surface = vtkSmartPointer<vtkPolyData>::New();
  surface->SetPoints(points);
  surface->SetPolys(polygons);
  return surface;
}

std::string visibleSurface(vtkPolyData* mesh, const double viewpoint[3], int threads,
                           vtkSmartPointer<vtkPolyData>& surface) {
  std::vector<std::uint8_t> visible;
  const std::string problem = visibleVertices(mesh, viewpoint, threads, visible);
  if (problem.empty()) surface = visiblePolygons(mesh, visible);
  return problem;
}

}  // namespace Prepare
}  // namespace Ostrel
