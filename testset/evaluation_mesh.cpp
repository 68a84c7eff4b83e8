#include "testset/evaluation_mesh.h"

#include <atomic>
#include <cstdio>
#include <thread>

#include "core/clean_poly_data.h"
#include "core/io/load_poly_data.h"
#include "core/mesh_resolution.h"
#include "testset/scene_files.h"

namespace Ostrel {
namespace TestSet {

void cleanAsEvaluated(vtkPolyData* mesh) {
  Core::Impl::CleanPolyData(mesh, true, 0.0, true);
}

vtkSmartPointer<vtkPolyData> loadCleanMesh(const std::string& path) {
  std::fflush(stdout);
  auto mesh = vtkSmartPointer<vtkPolyData>::Take(Core::Impl::LoadPolyData(path.c_str()));
  if (mesh) cleanAsEvaluated(mesh);
  return mesh;
}

double measureModels(const std::vector<vtkPolyData*>& models, std::vector<double>& resolutions,
                     int threads) {
  std::vector<double> measured(models.size(), 0.0);
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i; (i = next++) < models.size();) {
      if (models[i] == nullptr) continue;
      cleanAsEvaluated(models[i]);
      measured[i] = Core::Impl::compute_mesh_resolution(models[i]);
    }
  };
  std::vector<std::thread> helpers;
  for (int t = 1; t < threads && std::size_t(t) < models.size(); ++t) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  resolutions.clear();
  double sum = 0.0;
  for (std::size_t i = 0; i < models.size(); ++i) {
    if (models[i] == nullptr) continue;
    resolutions.push_back(measured[i]);
    sum += resolutions.back();
  }
  return models.empty() ? 0.0 : sum / static_cast<double>(models.size());
}

std::string loadModels(const std::vector<std::string>& paths, const std::string& configPath,
                       std::vector<vtkSmartPointer<vtkPolyData>>& meshes, double& meanResolution) {
  meshes.clear();
  for (const std::string& path : paths) {
    std::fflush(stdout);
    meshes.push_back(vtkSmartPointer<vtkPolyData>::Take(Core::Impl::LoadPolyData(path.c_str())));
    if (meshes.back()) continue;
    const std::string advice = missingMeshAdvice(path, configPath);
    return "cannot read the model mesh " + path + (advice.empty() ? "" : " (" + advice + ")");
  }
  std::vector<vtkPolyData*> models(meshes.begin(), meshes.end());
  std::vector<double> resolutions;
  meanResolution = measureModels(models, resolutions);
  return "";
}

}  // namespace TestSet
}  // namespace Ostrel
