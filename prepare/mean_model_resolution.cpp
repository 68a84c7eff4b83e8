#include "prepare/mean_model_resolution.h"

#include <vtkPolyData.h>

#include "core/io/load_poly_data.h"
#include "driver/run_stages.h"

namespace Ostrel {
namespace Prepare {

std::string MeanModelResolution(const std::vector<std::string>& meshPaths, double& resolution) {
  // The run's own records release the meshes on every way out.
  RunRecords records;
  for (const std::string& path : meshPaths) {
    TestModel model;
    model.meshPath = path;
    model.mesh = Core::Impl::LoadPolyData(path.c_str());
    if (!model.mesh) return "cannot read the model " + path;
    records.models.push_back(model);
  }
  std::vector<double> resolutions;
  resolution = measureModels(records.models, resolutions);
  return "";
}

}  // namespace Prepare
}  // namespace Ostrel
