#include "prepare_test_support.h"

#include <vtkCellArray.h>
#include <vtkConeSource.h>
#include <vtkIdList.h>
#include <vtkPLYWriter.h>
#include <vtkSphereSource.h>

#include <algorithm>
#include <filesystem>

#include "core/io/load_poly_data.h"

namespace prepare_test {

Mesh Sphere(int resolution, double radius) {
  auto source = vtkSmartPointer<vtkSphereSource>::New();
  source->SetThetaResolution(resolution);
  source->SetPhiResolution(resolution);
  source->SetRadius(radius);
  source->Update();
  return source->GetOutput();
}

Mesh Cone(int resolution) {
  auto source = vtkSmartPointer<vtkConeSource>::New();
  source->SetResolution(resolution);
  source->SetHeight(2.0);
  source->Update();
  return source->GetOutput();
}

std::string WritePly(vtkPolyData* mesh, const std::string& path) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  auto writer = vtkSmartPointer<vtkPLYWriter>::New();
  writer->SetInputData(mesh);
  writer->SetFileName(path.c_str());
  writer->SetFileTypeToBinary();
  writer->Write();
  return path;
}

Mesh Load(const std::string& path) {
  return Mesh::Take(Ostrel::Core::Impl::LoadPolyData(path.c_str()));
}

std::vector<double> Coordinates(vtkPolyData* mesh) {
  std::vector<double> all(static_cast<size_t>(3 * mesh->GetNumberOfPoints()));
  for (vtkIdType i = 0; i < mesh->GetNumberOfPoints(); ++i) mesh->GetPoint(i, &all[3 * i]);
  return all;
}

std::vector<vtkIdType> PolygonIds(vtkPolyData* mesh) {
  std::vector<vtkIdType> all;
  auto ids = vtkSmartPointer<vtkIdList>::New();
  vtkCellArray* cells = mesh->GetPolys();
  for (cells->InitTraversal(); cells->GetNextCell(ids);) {
    for (vtkIdType k = 0; k < ids->GetNumberOfIds(); ++k) all.push_back(ids->GetId(k));
    all.push_back(-1);
  }
  return all;
}

ardentis_test::ProcessResult RunPrepare(const std::vector<std::string>& args,
                                        const std::string& workingDir) {
  return ardentis_test::runProcess(ARDENTIS_PREPARE_BINARY, args, workingDir);
}

std::vector<std::string> FilesUnder(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(directory)) {
    if (entry.is_regular_file()) names.push_back(entry.path().lexically_relative(directory));
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace prepare_test
