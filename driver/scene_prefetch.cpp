#include "driver/scene_prefetch.h"

#include <vtkPolyData.h>

#include "core/io/load_poly_data.h"
#include "core/mesh_resolution.h"
#include "testset/evaluation_mesh.h"

ScenePrefetch::ScenePrefetch(const std::string& path, double repeatabilityTh)
    : path_(path), repeatabilityTh_(repeatabilityTh) {
  // VTK registers its object factories on the first New(); that must not race the thread's.
  vtkSmartPointer<vtkPolyData>::New();
  thread_ = std::thread(&ScenePrefetch::work, this);
}

ScenePrefetch::~ScenePrefetch() {
  wait();
}

void ScenePrefetch::wait() {
  if (thread_.joinable()) thread_.join();
}

void ScenePrefetch::work() {
  mesh_.TakeReference(Ostrel::Core::Impl::LoadPolyDataSilently(path_.c_str()));
  points_.set_value(mesh_ != nullptr ? static_cast<long>(mesh_->GetNumberOfPoints()) : -1);
  if (mesh_ == nullptr) return;
  resolution_ = Ostrel::Core::Impl::compute_mesh_resolution(mesh_);
  Ostrel::TestSet::cleanAsEvaluated(mesh_);
  if (mesh_->GetNumberOfPoints() > 0)
    grid_ = std::make_unique<Ostrel::Core::Impl::PointGrid>(mesh_, repeatabilityTh_ * resolution_);
}

long ScenePrefetch::waitForReading() {
  return pointsRead_.get();
}

vtkPolyData* ScenePrefetch::takeMesh() {
  wait();
  if (mesh_ != nullptr) mesh_->Register(nullptr);
  return mesh_.Get();
}
