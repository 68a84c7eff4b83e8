#include "prepare/scene_composition.h"

#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkIdList.h>
#include <vtkPoints.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "core/rigid_transform.h"

namespace Ostrel {
namespace Prepare {
namespace {

const double kPi = 3.14159265358979323846;

double uniform(std::mt19937_64& bits) {
  return static_cast<double>(bits() >> 11) / 9007199254740992.0;  // [0, 1), 53 bits
}

void uniformRotation(std::mt19937_64& bits, float rotation[9]) {
  const double u1 = uniform(bits), u2 = uniform(bits), u3 = uniform(bits);
  const double a = std::sqrt(1.0 - u1), b = std::sqrt(u1);
  const double x = a * std::sin(2 * kPi * u2), y = a * std::cos(2 * kPi * u2);
  const double z = b * std::sin(2 * kPi * u3), w = b * std::cos(2 * kPi * u3);
  const double r[9] = {1 - 2 * (y * y + z * z), 2 * (x * y - z * w),     2 * (x * z + y * w),
                       2 * (x * y + z * w),     1 - 2 * (x * x + z * z), 2 * (y * z - x * w),
                       2 * (x * z - y * w),     2 * (y * z + x * w),     1 - 2 * (x * x + y * y)};
  for (int k = 0; k < 9; ++k) rotation[k] = static_cast<float>(r[k]);
}

// The model's points as packed floats, rotated by the evaluator's own routine.
std::vector<float> rotatedPoints(const PlacedModel& model) {
  const vtkIdType n = model.mesh->GetNumberOfPoints();
  std::vector<float> points(static_cast<size_t>(3 * n));
  for (vtkIdType i = 0; i < n; ++i) {
    double p[3];
    model.mesh->GetPoint(i, p);
    for (int k = 0; k < 3; ++k) points[static_cast<size_t>(3 * i + k)] = static_cast<float>(p[k]);
  }
  Core::Impl::Rotate3x3(points.data(), static_cast<int>(n), model.rotation);
  return points;
}

// Bounding sphere of packed points: centre of the bounding box, farthest point's distance.
void boundingSphere(const std::vector<float>& points, double centre[3], double& radius) {
  double low[3], high[3];
  std::fill(low, low + 3, std::numeric_limits<double>::max());
  std::fill(high, high + 3, std::numeric_limits<double>::lowest());
  for (size_t i = 0; i < points.size(); ++i) {
    low[i % 3] = std::min(low[i % 3], static_cast<double>(points[i]));
    high[i % 3] = std::max(high[i % 3], static_cast<double>(points[i]));
  }
  radius = 0.0;
  for (int k = 0; k < 3; ++k) centre[k] = points.empty() ? 0.0 : (low[k] + high[k]) / 2;
  for (size_t i = 0; i + 2 < points.size(); i += 3) {
    double squared = 0.0;
    for (int k = 0; k < 3; ++k) squared += std::pow(points[i + k] - centre[k], 2);
    radius = std::max(radius, std::sqrt(squared));
  }
}

}  // namespace

void placeModels(std::vector<PlacedModel>& models, std::uint64_t seed, double spacing) {
  std::mt19937_64 bits(seed);
  double previousEdge = 0.0;  // x where the previous sphere ends
  for (size_t m = 0; m < models.size(); ++m) {
    uniformRotation(bits, models[m].rotation);
    double centre[3], radius = 0.0;
    boundingSphere(rotatedPoints(models[m]), centre, radius);
    const double x = m == 0 ? 0.0 : previousEdge + spacing + radius;
    const double target[3] = {x, 0.0, 0.0};
    for (int k = 0; k < 3; ++k)
      models[m].translation[k] = static_cast<float>(target[k] - centre[k]);
    previousEdge = x + radius;
  }
}

SceneDraw drawScene(std::size_t poolSize, std::size_t count, std::uint64_t seed,
                    std::uint64_t scene) {
  std::seed_seq sequence{std::uint32_t(seed), std::uint32_t(seed >> 32), std::uint32_t(scene)};
  std::mt19937_64 bits(sequence);
  std::vector<std::size_t> order(poolSize);
  for (std::size_t i = 0; i < poolSize; ++i) order[i] = i;
  // Fisher-Yates written out (std::shuffle's steps differ between libraries), the index drawn by
  // rejection so that every one is equally likely.
  for (std::size_t i = poolSize; i > 1; --i) {
    const std::uint64_t limit = bits.max() - (bits.max() % i + 1) % i;
    std::uint64_t draw = bits();
    while (draw > limit) draw = bits();
    std::swap(order[i - 1], order[draw % i]);
  }
  SceneDraw draw;
  draw.models.assign(order.begin(), order.begin() + std::min(count, poolSize));
  std::sort(draw.models.begin(), draw.models.end());
  draw.poseSeed = bits();
  return draw;
}

vtkSmartPointer<vtkPolyData> composeScene(const std::vector<PlacedModel>& models) {
  auto coordinates = vtkSmartPointer<vtkFloatArray>::New();
  coordinates->SetNumberOfComponents(3);
  auto polygons = vtkSmartPointer<vtkCellArray>::New();
  vtkIdType offset = 0;
  for (const PlacedModel& model : models) {
    std::vector<float> points = rotatedPoints(model);
    const int n = static_cast<int>(points.size() / 3);
    Core::Impl::Translate(points.data(), n, model.translation);
    for (int i = 0; i < n; ++i)
      coordinates->InsertNextTypedTuple(&points[3 * static_cast<size_t>(i)]);
    vtkCellArray* cells = model.mesh->GetPolys();
    auto ids = vtkSmartPointer<vtkIdList>::New();
    for (cells->InitTraversal(); cells->GetNextCell(ids);) {
      for (vtkIdType k = 0; k < ids->GetNumberOfIds(); ++k) ids->SetId(k, ids->GetId(k) + offset);
      polygons->InsertNextCell(ids);
    }
    offset += n;
  }
  auto points = vtkSmartPointer<vtkPoints>::New();
  points->SetData(coordinates);
  auto scene = vtkSmartPointer<vtkPolyData>::New();
  scene->SetPoints(points);
  scene->SetPolys(polygons);
  return scene;
}

}  // namespace Prepare
}  // namespace Ostrel
