#include "driver/decimation.h"

#include <vtkPolyData.h>
#include <vtkQuadricDecimation.h>
#include <vtkSmartPointer.h>

#include <climits>
#include <cmath>
#include <cstdio>

#include "core/mesh_resolution.h"
#include "testers/end_process.h"
#include "testset/evaluation_mesh.h"

namespace {

using Ostrel::Core::Impl::compute_mesh_resolution;

// "maxVertexesInDataset" defaults to -1, which means "not given".
int readMaxVertexes(boost::program_options::variables_map& vm) {
  if (vm.count("maxVertexesInDataset") == 0) return -1;
  return vm["maxVertexesInDataset"].as<int>();
}

// Without a positive maximum the decimation fraction has no meaning (0 would divide by zero).
int requireMaxVertexes(boost::program_options::variables_map& vm) {
  const int maxVertexes = readMaxVertexes(vm);
  if (maxVertexes <= 0) {
    std::fflush(stdout);
    std::fprintf(stderr, "Cannot decimate without maxVertexesInDataset parameter");
    endProcessNow(-100);
  }
  return maxVertexes;
}

long pointCount(vtkPolyData* mesh) {
  return mesh != nullptr ? long(mesh->GetNumberOfPoints()) : 0;
}

// Replaces `mesh` by its decimated, cleaned copy and returns the copy's resolution.
// A record without a mesh keeps none.
double decimateInPlace(vtkPolyData*& mesh, int maxVertexes, int decimationLevel) {
  if (mesh == nullptr) return 0.0;
  const int target = decimationTarget(pointCount(mesh), maxVertexes, decimationLevel);
  vtkPolyData* decimated = decimateMesh(mesh, target);
  mesh->Delete();
  mesh = decimated;
  Ostrel::TestSet::cleanAsEvaluated(mesh);
  return compute_mesh_resolution(mesh);
}

}  // namespace

vtkPolyData* decimateMesh(vtkPolyData* mesh, int target) {
  vtkPolyData* result = vtkPolyData::New();
  if (mesh == nullptr) return result;

  const vtkIdType points = mesh->GetNumberOfPoints();
  if (points > target) {
    const double n = static_cast<double>(points);
    auto filter = vtkSmartPointer<vtkQuadricDecimation>::New();
    filter->SetTargetReduction((n - target) / n);
    filter->SetInputData(mesh);
    filter->Update();
    result->DeepCopy(filter->GetOutput());
    Ostrel::TestSet::cleanAsEvaluated(result);
  } else {
    result->DeepCopy(mesh);
  }
  return result;
}

int decimationTarget(long long points, int maxVertexes, int decimationLevel) {
  if (maxVertexes <= 0) return points > INT_MAX ? INT_MAX : int(points);
  const double fraction = double(maxVertexes - decimationLevel) / maxVertexes;
  const double target = std::floor(double(points) * (1.0 - fraction) + 0.5);
  // Keep the conversion defined for any level: a target is a count of points.
  if (!(target > 0.0)) return 0;
  if (target >= double(INT_MAX)) return INT_MAX;
  return int(target);
}

double decimateModels(boost::program_options::variables_map& vm, std::vector<TestModel>& models,
                      int decimationLevel) {
  std::printf("Decimation");
  const int maxVertexes = requireMaxVertexes(vm);

  double resolutionSum = 0.0;
  for (TestModel& model : models) {
    const double resolution = decimateInPlace(model.mesh, maxVertexes, decimationLevel);
    std::printf("   Vertexes and Mesh resolution after decimation: %ld,  %f\n",
                pointCount(model.mesh), resolution);
    resolutionSum += resolution;
  }

  // An empty model list has no mean; 0 keeps every later radius defined.
  const double meanResolution = models.empty() ? 0.0 : resolutionSum / double(models.size());
  std::printf("\n   Mean mesh resolution after decimation: %f\n", meanResolution);
  std::printf("done.\n\n");
  return meanResolution;
}

void decimateScene(boost::program_options::variables_map& vm, TestModel& scene,
                   int decimationLevel) {
  std::printf("Scene decimation.\n");
  const int maxVertexes = requireMaxVertexes(vm);
  const double resolution = decimateInPlace(scene.mesh, maxVertexes, decimationLevel);
  std::printf("Vertexes and Mesh resolution after decimation: %ld, %lf.\n", pointCount(scene.mesh),
              resolution);
  std::printf("done.\n\n");
}
