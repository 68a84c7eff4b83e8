#include "prepare/mean_model_resolution.h"

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include "core/clean_poly_data.h"
#include "core/io/load_poly_data.h"
#include "core/mesh_resolution.h"

namespace Ostrel {
namespace Prepare {

// merge: use the driver's
std::string MeanModelResolution(const std::vector<std::string>& meshPaths, double& resolution) {
  double sum = 0.0;
  for (const std::string& path : meshPaths) {
    auto mesh = vtkSmartPointer<vtkPolyData>::Take(Core::Impl::LoadPolyData(path.c_str()));
    if (!mesh) return "cannot read the model " + path;
    Core::Impl::CleanPolyData(mesh, true, 0.0, true);
    sum += Core::Impl::compute_mesh_resolution(mesh);
  }
  resolution = meshPaths.empty() ? 0.0 : sum / static_cast<double>(meshPaths.size());
  return "";
}

}  // namespace Prepare
}  // namespace Ostrel
