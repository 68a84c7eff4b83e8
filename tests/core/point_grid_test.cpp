#include "core/point_grid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "core/kd_tree.h"
#include "test_meshes.h"

using namespace Ostrel::Core::Impl;
using namespace ardentis_core_test;

namespace {

const double kInfinity = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Brute force: the smallest SquaredDistance over the finite points, +infinity when none.
double NearestSquared(vtkPolyData* mesh, const float query[3]) {
  double best = kInfinity;
  for (vtkIdType id = 0; id < mesh->GetNumberOfPoints(); ++id) {
    const double* xyz = mesh->GetPoint(id);
    if (std::isfinite(xyz[0]) && std::isfinite(xyz[1]) && std::isfinite(xyz[2]))
      best = std::min(best, SquaredDistance(xyz, query));
  }
  return best;
}

// The evaluation's former road: VTK's nearest point, its distance compared with the radius.
bool VtkVerdict(KdTree& tree, vtkPolyData* mesh, const float query[3], double squaredRadius) {
  float q[3] = {query[0], query[1], query[2]};
  const int id = tree.FindNearestPoint(q);
  return id >= 0 && !(SquaredDistance(mesh->GetPoint(id), query) > squaredRadius);
}

bool Inside(vtkPolyData* mesh, const float query[3]) {
  const double* box = mesh->GetPoints()->GetBounds();
  for (int a = 0; a < 3; ++a)
    if (!(query[a] >= box[2 * a] && query[a] <= box[2 * a + 1])) return false;
  return true;
}

// Points on the surfaces of three spheres, most of their box empty, as in a scene; with
// `copies` every point is stored that many times.
std::vector<double> Spheres(int count, int copies, std::mt19937& random) {
  std::normal_distribution<double> normal;
  std::vector<double> xyz;
  for (int i = 0; i < count; ++i) {
    double d[3] = {normal(random), normal(random), normal(random)};
    const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    const double centre = 3.0 * (i % 3), radius = 1.0 + 0.5 * (i % 3);
    for (int c = 0; c < copies; ++c)
      xyz.insert(xyz.end(), {centre + radius * d[0] / length, radius * d[1] / length,
                             0.5 * centre + radius * d[2] / length});
  }
  return xyz;
}

// A lattice of spacing 0.25 (exact in binary): with cells of the same edge every point lies on
// cell faces, and distances from the half- and quarter-offset queries are exact.
std::vector<double> Lattice() {
  std::vector<double> xyz;
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 5; ++j)
      for (int k = 0; k < 4; ++k) xyz.insert(xyz.end(), {0.25 * i, 0.25 * j - 0.5, 0.25 * k});
  return xyz;
}

// Queries on and near the points, anywhere in and around the box, and far outside it.
std::vector<float> Queries(const std::vector<double>& xyz, std::mt19937& random) {
  std::uniform_real_distribution<double> unit(0, 1), offset(-0.2, 0.2);
  std::uniform_int_distribution<std::size_t> pick(0, xyz.size() / 3 - 1);
  std::vector<float> queries;
  for (int q = 0; q < 1500; ++q) {
    const std::size_t p = 3 * pick(random);
    for (int a = 0; a < 3; ++a) {
      double value = xyz[p + a];
      if (q % 5 == 1) value += offset(random);
      if (q % 5 == 2) value += 0.125 * std::floor(8 * offset(random));  // stays exact
      if (q % 5 == 3) value = -2 + 12 * unit(random);
      if (q % 5 == 4) value = (unit(random) - 0.5) * 1e4;
      queries.push_back(float(value));
    }
  }
  return queries;
}

struct Case {
  const char* name;
  std::vector<double> points;
  double cellSize;
};

// Every verdict as brute force and VTK's locator give it, for radii exactly at the nearest
// distance, one step on either side of it, and wider and narrower ones, over cell sizes from
// far too small (capped) to far too large (one cell) and unusable ones (chosen from the bounds).
TEST(PointGrid, VerdictsMatchVtkAndBruteForce) {
  std::mt19937 random(7);
  const std::vector<double> spheres = Spheres(3000, 1, random);
  const Case cases[] = {
      {"spheres, cell = radius", spheres, 0.05},
      {"spheres, tiny cells", spheres, 1e-30},
      {"spheres, one cell", spheres, 1e30},
      {"spheres, no cell size", spheres, 0},
      {"spheres, NaN cell size", spheres, kNaN},
      {"spheres, infinite cell size", spheres, kInfinity},
      {"copies of every point", Spheres(500, 4, random), 0.05},
      {"lattice on cell faces", Lattice(), 0.25},
      {"lattice, half cells", Lattice(), 0.125},
      {"one point", {1, 2, 3}, 0.1},
      {"a flat cloud", {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}, 0.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Mesh mesh = MeshOf(c.points);
    const PointGrid grid(mesh, c.cellSize);
    KdTree tree(mesh);
    double cells = 1;
    const double* box = mesh->GetPoints()->GetBounds();
    for (int a = 0; a < 3; ++a)
      cells *= std::floor((box[2 * a + 1] - box[2 * a]) / grid.CellSize()) + 1;
    EXPECT_LE(cells, double(mesh->GetNumberOfPoints()));
    const std::vector<float> queries = Queries(c.points, random);
    int near = 0;
    for (std::size_t q = 0; q < queries.size(); q += 3) {
      const float* query = &queries[q];
      const double nearest = NearestSquared(mesh, query);
      const double radii[] = {nearest,
                              std::nextafter(nearest, 0.0),
                              std::nextafter(nearest, 1e9),
                              4 * nearest,
                              nearest / 4,
                              double(float(0.05 * 0.05)),
                              0.0};
      for (const double radius : radii) {
        const bool expected = !(nearest > radius);
        ASSERT_EQ(grid.NearestWithin(query, radius), expected)
            << "query " << q / 3 << " (" << query[0] << ", " << query[1] << ", " << query[2]
            << "), squared radius " << radius << ", nearest " << nearest;
        // Outside the points' box VTK ranks candidates in single precision (its N-nearest
        // search), so there its verdict can differ within float rounding of the nearest distance.
        if (Inside(mesh, query) || std::fabs(radius - nearest) > 1e-6 * nearest) {
          ASSERT_EQ(VtkVerdict(tree, mesh, query, radius), expected) << "query " << q / 3;
        }
        near += expected;
      }
    }
    EXPECT_GT(near, int(queries.size() / 3));  // both verdicts well represented
  }
}

// Coordinates the grid reads as vtkPoints::GetPoint gives them, from any storage type: doubles
// that no float holds, and integers; points that are not finite are never near.
TEST(PointGrid, StorageTypesAndPointsThatAreNotFinite) {
  std::mt19937 random(3);
  std::vector<double> doubles = Spheres(800, 1, random);
  for (double& value : doubles) value += 1e-9;
  std::vector<double> integers;
  for (int i = 0; i < 300; ++i)
    integers.insert(integers.end(), {i % 7 * 1.0, i % 11 * 1.0, i % 5 * 1.0});
  std::vector<double> withNaN = Spheres(400, 1, random);
  withNaN.insert(withNaN.end(), {kNaN, 0, 0, kInfinity, 1, 1, 0, -kInfinity, 0});
  const struct {
    const char* name;
    const std::vector<double>& points;
    int type;
  } cases[] = {{"double", doubles, VTK_DOUBLE},
               {"int", integers, VTK_INT},
               {"not finite, float", withNaN, VTK_FLOAT},
               {"not finite, double", withNaN, VTK_DOUBLE}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Mesh mesh = MeshOf(c.points, {}, c.type);
    const PointGrid grid(mesh, 0.5);
    const std::vector<float> queries = Queries(c.points, random);
    for (std::size_t q = 0; q < queries.size(); q += 3) {
      const double nearest = NearestSquared(mesh, &queries[q]);
      const bool finite = std::isfinite(queries[q] + queries[q + 1] + queries[q + 2]);
      for (const double radius : {nearest, std::nextafter(nearest, 0.0), 1.0})
        ASSERT_EQ(grid.NearestWithin(&queries[q], radius), finite && !(nearest > radius)) << q / 3;
    }
  }
}

// No finite point, or a query that is not finite: false. A NaN or infinite radius passes any
// nearest point and a negative one none, as the comparison !(d > r) decides.
TEST(PointGrid, EmptyGridsAndRadiiThatAreNotNumbers) {
  vtkNew<vtkPolyData> noPointsObject;
  Mesh noPoints = MeshOf({}), onlyNaN = MeshOf({kNaN, 0, 0}), cloud = MeshOf({0, 0, 0, 1, 1, 1});
  const float origin[3] = {0, 0, 0}, far[3] = {1e30f, 0, 0}, nan[3] = {0, float(kNaN), 0},
              infinite[3] = {0, 0, float(kInfinity)};
  const struct {
    vtkPolyData* mesh;
    const float* query;
    double squaredRadius;
    bool expected;
  } cases[] = {
      {nullptr, origin, 1, false},    {noPointsObject, origin, 1, false},
      {noPoints, origin, 1, false},   {onlyNaN, origin, kInfinity, false},
      {cloud, nan, kInfinity, false}, {cloud, infinite, kInfinity, false},
      {cloud, origin, -1, false},     {cloud, origin, -0.0, true},
      {cloud, far, kNaN, true},       {cloud, far, kInfinity, true},
      {cloud, far, 1e59, false},      {cloud, far, 1e61, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    EXPECT_EQ(PointGrid(c.mesh, 1).NearestWithin(c.query, c.squaredRadius), c.expected);
  }
  EXPECT_FALSE(PointGrid().NearestWithin(origin, 1));
}

}  // namespace
