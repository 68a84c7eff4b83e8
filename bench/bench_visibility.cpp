// Visibility of a range-scan-sized mesh from a viewpoint, by both roads of
// prepare/visible_vertices.h: Embree on every core and VTK's cell locator on one thread. Prints,
// for a viewpoint outside the mesh's bounds and one inside them, each road's wall and processor
// time per vertex and how many vertices the roads agree on.
//
// Usage: bench_visibility [threads (default: all cores)] [pixels per side (default: 800)]

#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "prepare/visible_vertices.h"

namespace {

using Vec = std::array<double, 3>;

struct Sphere {
  Vec centre;
  double radius;
};

// Distance along the unit ray from `origin` to the first of the ground (z = 0) and the spheres,
// or infinity.
double FirstHit(const Vec& origin, const Vec& dir, const std::vector<Sphere>& spheres) {
  double best = dir[2] < 0 ? -origin[2] / dir[2] : INFINITY;
  for (const Sphere& s : spheres) {
    const Vec o = {origin[0] - s.centre[0], origin[1] - s.centre[1], origin[2] - s.centre[2]};
    const double b = o[0] * dir[0] + o[1] * dir[1] + o[2] * dir[2];
    const double c = o[0] * o[0] + o[1] * o[1] + o[2] * o[2] - s.radius * s.radius;
    const double disc = b * b - c;
    if (disc < 0) continue;
    const double t = -b - std::sqrt(disc);
    if (t > 0 && t < best) best = t;
  }
  return best;
}

// What a range scanner at (0, -150, 80) records of spheres half sunk in the ground: a grid of
// `side` x `side` range pixels with noise along the rays, the pixels that hit something joined
// into triangles except across jumps of range (so the mesh is irregular and has holes where
// nearer surfaces hide farther ones, as a real scan has).
vtkSmartPointer<vtkPolyData> RangeScan(int side) {
  std::mt19937 random(3);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::normal_distribution<double> noise(0.0, 0.04);
  std::vector<Sphere> spheres;
  for (int k = 0; k < 30; ++k) {
    const double r = 4 + 11 * unit(random);
    spheres.push_back({{-55 + 110 * unit(random), -45 + 100 * unit(random), 0.4 * r}, r});
  }
  const Vec scanner = {0, -150, 80};
  auto coordinates = vtkSmartPointer<vtkFloatArray>::New();
  coordinates->SetNumberOfComponents(3);
  std::vector<vtkIdType> id(static_cast<size_t>(side) * side, -1);
  std::vector<double> range(id.size(), 0.0);
  for (int i = 0; i < side; ++i) {
    for (int j = 0; j < side; ++j) {
      // The image spans about 55 degrees across and 35 up, centred on the origin.
      const double yaw = (j / (side - 1.0) - 0.5) * 0.96,
                   pitch = -0.49 + (i / (side - 1.0) - 0.5) * 0.6;
      const Vec dir = {std::sin(yaw) * std::cos(pitch), std::cos(yaw) * std::cos(pitch),
                       std::sin(pitch)};
      const double t = FirstHit(scanner, dir, spheres);
      if (!std::isfinite(t) || t > 230) continue;  // the scanner's range
      const double measured = t + noise(random);
      const size_t pixel = static_cast<size_t>(i) * side + j;
      range[pixel] = measured;
      id[pixel] = coordinates->GetNumberOfTuples();
      const float p[3] = {static_cast<float>(scanner[0] + measured * dir[0]),
                          static_cast<float>(scanner[1] + measured * dir[1]),
                          static_cast<float>(scanner[2] + measured * dir[2])};
      coordinates->InsertNextTypedTuple(p);
    }
  }
  auto triangles = vtkSmartPointer<vtkCellArray>::New();
  const auto join = [&](size_t a, size_t b, size_t c) {
    if (id[a] < 0 || id[b] < 0 || id[c] < 0) return;
    const double low = std::min({range[a], range[b], range[c]});
    if (std::max({range[a], range[b], range[c]}) - low > 0.01 * low) return;  // a jump
    const vtkIdType corners[3] = {id[a], id[b], id[c]};
    triangles->InsertNextCell(3, corners);
  };
  for (int i = 0; i + 1 < side; ++i) {
    for (int j = 0; j + 1 < side; ++j) {
      const size_t a = static_cast<size_t>(i) * side + j, b = a + 1, c = a + side, d = c + 1;
      join(a, b, d);
      join(a, d, c);
    }
  }
  auto points = vtkSmartPointer<vtkPoints>::New();
  points->SetData(coordinates);
  auto mesh = vtkSmartPointer<vtkPolyData>::New();
  mesh->SetPoints(points);
  mesh->SetPolys(triangles);
  return mesh;
}

struct Timing {
  double wallSeconds;
  double processorSeconds;  // all threads of the process
};

Timing Timed(const std::function<void()>& work) {
  const auto wall = std::chrono::steady_clock::now();
  const std::clock_t processor = std::clock();
  work();
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count(),
          static_cast<double>(std::clock() - processor) / CLOCKS_PER_SEC};
}

void PrintRoad(const char* road, const Timing& timing, vtkIdType n) {
  std::printf("  %-28s %8.3f us/vertex wall  %8.3f us/vertex processor  (%.2f s, %.2f s)\n", road,
              1e6 * timing.wallSeconds / n, 1e6 * timing.processorSeconds / n, timing.wallSeconds,
              timing.processorSeconds);
}

// Embree's road on `threads` threads, timed and printed; false after a message when it fails.
bool TimeEmbree(vtkPolyData* mesh, const double viewpoint[3], int threads,
                std::vector<std::uint8_t>& visible) {
  std::string problem;
  const Timing timing =
      Timed([&] { problem = Ostrel::Prepare::visibleVertices(mesh, viewpoint, threads, visible); });
  if (!problem.empty()) {
    std::fprintf(stderr, "bench_visibility: %s\n", problem.c_str());
    return false;
  }
  char road[64];
  std::snprintf(road, sizeof road, "Embree, %d thread%s:", threads, threads > 1 ? "s" : "");
  PrintRoad(road, timing, mesh->GetNumberOfPoints());
  std::fflush(stdout);
  return true;
}

// Times both roads from `viewpoint` (Embree on one thread too when `threads` > 1); false when
// Embree failed, its answer depends on the thread count, or the roads disagree on more than
// 0.1% of the vertices.
bool Compare(vtkPolyData* mesh, const char* where, const double viewpoint[3], int threads) {
  const vtkIdType n = mesh->GetNumberOfPoints();
  std::printf("viewpoint %g %g %g (%s):\n", viewpoint[0], viewpoint[1], viewpoint[2], where);
  std::vector<std::uint8_t> embree, single, vtk;
  if (!TimeEmbree(mesh, viewpoint, threads, embree)) return false;
  if (threads > 1 && (!TimeEmbree(mesh, viewpoint, 1, single) || single != embree)) {
    std::fprintf(stderr, "bench_visibility: one thread and %d disagree\n", threads);
    return false;
  }
  const Timing slow =
      Timed([&] { vtk = Ostrel::Prepare::visibleVerticesByCellLocator(mesh, viewpoint); });
  PrintRoad("VTK cell locator, 1 thread:", slow, n);
  vtkIdType same = 0, seen = 0;
  for (vtkIdType i = 0; i < n; ++i) {
    same += embree[i] == vtk[i];
    seen += embree[i];
  }
  std::printf("  %lld of %lld vertices seen; the roads agree on %lld (%.4f%%), %lld differ\n",
              static_cast<long long>(seen), static_cast<long long>(n), static_cast<long long>(same),
              100.0 * same / n, static_cast<long long>(n - same));
  std::fflush(stdout);
  return n - same <= n / 1000;
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned cores = std::thread::hardware_concurrency();
  const int threads = argc > 1 ? std::atoi(argv[1]) : static_cast<int>(cores > 0 ? cores : 1);
  const int side = argc > 2 ? std::atoi(argv[2]) : 800;
  if (threads < 1 || side < 2) {
    std::fprintf(stderr, "usage: bench_visibility [threads] [pixels per side]\n");
    return 2;
  }
  const vtkSmartPointer<vtkPolyData> mesh = RangeScan(side);
  double bounds[6];
  mesh->GetBounds(bounds);
  std::printf(
      "range scan: %lld vertices, %lld triangles, bounds x %.0f..%.0f y %.0f..%.0f "
      "z %.0f..%.0f\n",
      static_cast<long long>(mesh->GetNumberOfPoints()),
      static_cast<long long>(mesh->GetNumberOfPolys()), bounds[0], bounds[1], bounds[2], bounds[3],
      bounds[4], bounds[5]);
  // From the side and above (outside the bounds), and from among the spheres (inside them).
  const double outside[3] = {200, 0, 60}, inside[3] = {5, 10, 6};
  const bool outsideAgrees = Compare(mesh, "outside the bounds", outside, threads);
  const bool insideAgrees = Compare(mesh, "inside the bounds", inside, threads);
  return outsideAgrees && insideAgrees ? 0 : 3;
}
