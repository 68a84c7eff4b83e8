#pragma once
// Point sets the fast detectors are held to PCL's classes on: a noisy box (lattice ties), a
// noisy torus sampled at random (curved everywhere), a range-scan-like height field (uneven
// sampling, holes, a depth step, duplicate and near-duplicate points) and the top quarter of a
// real model (the whole of it made the ThreadSanitizer run of these tests half a minute longer).

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "core/clean_poly_data.h"
#include "core/io/load_poly_data.h"
#include "core/mesh_resolution.h"
#include "detect/box_mesh.h"

namespace ardentis_detect_test {

struct TestSurface {
  std::string name;
  std::vector<float> xyz;  // x y z triples
  double mr;               // the unit the detectors' radii are given in
};

inline std::vector<float> PointsOf(vtkPolyData* mesh) {
  std::vector<float> xyz;
  for (vtkIdType i = 0; i < mesh->GetNumberOfPoints(); ++i) {
    const double* p = mesh->GetPoint(i);
    xyz.insert(xyz.end(), {float(p[0]), float(p[1]), float(p[2])});
  }
  return xyz;
}

inline std::vector<float> NoisyTorus(int count) {
  std::mt19937 random(5);
  std::uniform_real_distribution<double> angle(0.0, 2 * M_PI);
  std::normal_distribution<double> noise(0.0, 0.02);
  std::vector<float> xyz;
  for (int i = 0; i < count; ++i) {
    const double u = angle(random), v = angle(random), ring = 10 + 4 * std::cos(v);
    xyz.insert(xyz.end(),
               {float(ring * std::cos(u) + noise(random)),
                float(ring * std::sin(u) + noise(random)), float(4 * std::sin(v) + noise(random))});
  }
  return xyz;
}

// Rows of a scanner's samples, closer together towards x = 0, jittered, over a wavy surface
// with a depth step at x = 25, three round holes, every 41st sample stored twice and every
// 53rd once more a hundred-thousandth away.
inline std::vector<float> ScanLike() {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> jitter(-0.1, 0.1);
  std::normal_distribution<double> noise(0.0, 0.03);
  const double holes[3][2] = {{10, 10}, {30, 20}, {15, 24}};
  std::vector<float> xyz;
  for (int v = 0; v < 60; ++v) {
    for (int u = 0; u < 80; ++u) {
      const double x = 0.5 * u * (0.8 + 0.4 * u / 80) + jitter(random),
                   y = 0.5 * v + jitter(random);
      bool inHole = false;
      for (const auto& h : holes) inHole |= std::hypot(x - h[0], y - h[1]) < 2.5;
      if (inHole) continue;
      const double z = 2 * std::sin(x / 4) * std::cos(y / 5) + (x > 25 ? 3 : 0) + noise(random);
      const float p[3] = {float(x), float(y), float(z)};
      xyz.insert(xyz.end(), p, p + 3);
      const std::size_t count = xyz.size() / 3;
      if (count % 41 == 0) xyz.insert(xyz.end(), p, p + 3);
      if (count % 53 == 0) xyz.insert(xyz.end(), {p[0] + 1e-5f, p[1], p[2]});
    }
  }
  return xyz;
}

// The points above y = `cut`: a part of a surface, with the cut for a border.
inline std::vector<float> UpperPart(const std::vector<float>& xyz, float cut) {
  std::vector<float> part;
  for (auto p = xyz.begin(); p != xyz.end(); p += 3) {
    if (p[1] > cut) part.insert(part.end(), p, p + 3);
  }
  return part;
}

inline std::vector<TestSurface> TestSurfaces() {
  auto box = BoxMesh({30, 24, 18}, {0, 0, 0}, 0.2);
  Ostrel::Core::Impl::CleanPolyData(box, true, 0.0, true);
  auto bear = vtkSmartPointer<vtkPolyData>::Take(
      Ostrel::Core::Impl::LoadPolyData(ARDENTIS_SOURCE_DIR "/examples/data/models/bear_0.ply"));
  Ostrel::Core::Impl::CleanPolyData(bear, true, 0.0, true);
  return {{"noisy box", PointsOf(box), 1.0},
          {"torus", NoisyTorus(6000), 0.5},
          {"scan", ScanLike(), 0.5},
          {"bear's top quarter", UpperPart(PointsOf(bear), 18.0f),
           Ostrel::Core::Impl::compute_mesh_resolution(bear)}};
}

}  // namespace ardentis_detect_test
