// Times the mesh core on a generated 1M-vertex / 2M-triangle grid mesh and prints the median
// of several runs of each step, plus the heap allocations made per nearest-point query.

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <random>
#include <vector>

#include "core/clean_poly_data.h"
#include "core/kd_tree.h"
#include "core/mesh_resolution.h"
#include "core/poly_data_storage.h"

namespace {

std::atomic<long long> allocationCount{0};

}  // namespace

// Counting every heap allocation (VTK's included) shows whether a query allocates.
void* operator new(std::size_t size) {
  ++allocationCount;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace {

using namespace Ostrel::Core::Impl;
using Clock = std::chrono::steady_clock;

const int kSide = 1000;  // kSide^2 vertices, 2 (kSide-1)^2 triangles
const int kRuns = 5;
const int kQueries = 100000;

struct GridMesh {
  std::vector<float> points;
  std::vector<int> triangles;
};

// A gently curved height field, so that edge lengths differ and the tree is not trivial.
GridMesh MakeGrid() {
  GridMesh grid;
  grid.points.reserve(3 * kSide * kSide);
  for (int r = 0; r < kSide; ++r) {
    for (int c = 0; c < kSide; ++c) {
      grid.points.push_back(static_cast<float>(c));
      grid.points.push_back(static_cast<float>(r));
      grid.points.push_back(static_cast<float>(10.0 * std::sin(c * 0.01) * std::cos(r * 0.013)));
    }
  }
  for (int r = 0; r + 1 < kSide; ++r) {
    for (int c = 0; c + 1 < kSide; ++c) {
      const int a = r * kSide + c, b = a + 1, d = a + kSide, e = d + 1;
      grid.triangles.insert(grid.triangles.end(), {b, a, d, b, d, e});
    }
  }
  return grid;
}

vtkSmartPointer<vtkPolyData> MakeMesh(const GridMesh& grid) {
  vtkSmartPointer<vtkPolyData> mesh;
  mesh.TakeReference(CreatePolyData(grid.points.data(), kSide * kSide, nullptr,
                                    grid.triangles.data(),
                                    static_cast<unsigned>(grid.triangles.size() / 3)));
  return mesh;
}

double Milliseconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// Median over kRuns of `timed`, each run after an untimed `prepare`.
double MedianMs(const std::function<void()>& prepare, const std::function<void()>& timed) {
  std::vector<double> times;
  for (int run = 0; run < kRuns; ++run) {
    prepare();
    const auto start = Clock::now();
    timed();
    times.push_back(Milliseconds(start, Clock::now()));
  }
  std::nth_element(times.begin(), times.begin() + kRuns / 2, times.end());
  return times[kRuns / 2];
}

std::vector<float> MakeQueries() {
  std::mt19937 random(5);
  std::uniform_real_distribution<float> across(0.0f, kSide - 1.0f);
  std::uniform_real_distribution<float> height(-5.0f, 5.0f);
  std::vector<float> queries;
  for (int i = 0; i < kQueries; ++i) {
    queries.push_back(across(random));
    queries.push_back(across(random));
    queries.push_back(height(random));
  }
  return queries;
}

}  // namespace

int main() {
  const GridMesh grid = MakeGrid();
  auto mesh = MakeMesh(grid);
  std::printf("mesh: %lld vertices, %lld triangles; median of %d runs\n",
              static_cast<long long>(mesh->GetNumberOfPoints()),
              static_cast<long long>(mesh->GetNumberOfPolys()), kRuns);

  double resolution = 0.0;
  const double resolutionMs = MedianMs([] {}, [&] { resolution = compute_mesh_resolution(mesh); });
  std::printf("compute_mesh_resolution  %8.1f ms  (resolution %.6f)\n", resolutionMs, resolution);

  vtkSmartPointer<vtkPolyData> toClean;
  const double cleanMs =
      MedianMs([&] { toClean = MakeMesh(grid); }, [&] { CleanPolyData(toClean, true, 0.0, true); });
  std::printf("CleanPolyData            %8.1f ms\n", cleanMs);

  std::vector<KdTree*> trees;
  const double buildMs = MedianMs([] {}, [&] { trees.push_back(new KdTree(mesh)); });
  for (KdTree* tree : trees) delete tree;

  KdTree tree(mesh);
  std::vector<float> queries = MakeQueries();
  long long checksum = 0;
  const long long allocationsBefore = allocationCount;
  const double queryMs = MedianMs([] {},
                                  [&] {
                                    for (int i = 0; i < kQueries; ++i)
                                      checksum += tree.FindNearestPoint(&queries[3 * i]);
                                  });
  const double allocationsPerQuery =
      static_cast<double>(allocationCount - allocationsBefore) / (kRuns * kQueries);
  std::printf("KdTree build             %8.1f ms\n", buildMs);
  std::printf(
      "100k FindNearestPoint    %8.1f ms  (%.3f heap allocations per query, checksum %lld)\n",
      queryMs, allocationsPerQuery, checksum);
  return 0;
}
