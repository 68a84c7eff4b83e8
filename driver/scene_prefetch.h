#pragma once
// The scene's share of a run, done on a thread of its own while the models load and are
// measured: reading it by the loader's silent road, counting its points, measuring the mesh as
// read, cleaning it and building the point grid the evaluation's visibility test asks of it. The
// run takes each result where a sequential run computes it, so that what it prints and writes stays
// the same; a scene the silent road cannot read is left to the run, which loads it, messages and
// all.

#include <vtkSmartPointer.h>

#include <future>
#include <memory>
#include <string>
#include <thread>

#include "core/point_grid.h"

class vtkPolyData;

class ScenePrefetch {
 public:
  // Starts the work on the mesh at `path`. The grid's cells are `repeatabilityTh` times the
  // scene's resolution as read: the visibility radius, as near as it can be told before the
  // models are measured.
  ScenePrefetch(const std::string& path, double repeatabilityTh);
  // Waits for the thread, so that none outlives the run.
  ~ScenePrefetch();
  ScenePrefetch(const ScenePrefetch&) = delete;
  ScenePrefetch& operator=(const ScenePrefetch&) = delete;

  // The path the work was started on.
  const std::string& path() const { return path_; }

  // Waits for the whole work to end (the thread with it).
  void wait();

  // The point count of the mesh as read, or -1 when the silent road could not read it. Waits for
  // the reading only; asked once.
  long waitForReading();

  // The cleaned mesh, with a new reference for the caller; null when it was not read. Waits for
  // the whole work.
  vtkPolyData* takeMesh();

  // After takeMesh: the mean edge length of the mesh as read (before cleaning).
  double resolutionAsRead() const { return resolution_; }

  // After takeMesh: a point grid over the cleaned mesh, for the caller to keep; null when the
  // mesh has no points.
  std::unique_ptr<Ostrel::Core::Impl::PointGrid> takeGrid() { return std::move(grid_); }

 private:
  void work();

  std::string path_;
  double repeatabilityTh_;
  vtkSmartPointer<vtkPolyData> mesh_;
  std::promise<long> points_;
  std::future<long> pointsRead_ = points_.get_future();
  double resolution_ = 0.0;
  std::unique_ptr<Ostrel::Core::Impl::PointGrid> grid_;
  std::thread thread_;
};
