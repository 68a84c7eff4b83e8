#include "core/kd_tree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "core/poly_data_storage.h"
#include "test_meshes.h"

using namespace Ostrel::Core::Impl;
using namespace ardentis_core_test;

namespace {

const double kInfinity = std::numeric_limits<double>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

Mesh Cloud(const std::vector<float>& xyz) {
  return Mesh::Take(CreatePolyData(xyz.data(), unsigned(xyz.size() / 3), nullptr, nullptr, 0));
}

// `count` x y z triples drawn from [low, high).
std::vector<float> Random(int count, unsigned seed, float low = 0, float high = 1) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> spread(low, high);
  std::vector<float> xyz(3 * count);
  for (float& value : xyz) value = spread(random);
  return xyz;
}

float Squared(const float* a, const float* b) {
  const float dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
  return dx * dx + dy * dy + dz * dz;
}

// Queries inside the cloud's unit box, just outside it, and several box sizes away.
std::vector<float> Queries(unsigned seed) {
  std::vector<float> queries = Random(400, seed, -4, 5);
  const std::vector<float> inside = Random(200, seed + 1);
  queries.insert(queries.end(), inside.begin(), inside.end());
  return queries;
}

}  // namespace

TEST(KdTree, NearestAndListQueriesMatchBruteForce) {
  const std::vector<float> points = Random(3000, 11);
  const int count = int(points.size() / 3);
  Mesh cloud = Cloud(points);
  KdTree tree(cloud);
  const std::vector<float> queries = Queries(12);
  for (size_t q = 0; q < queries.size(); q += 3) {
    float query[3] = {queries[q], queries[q + 1], queries[q + 2]};
    double asDoubles[3] = {query[0], query[1], query[2]};
    std::vector<float> squared(count);
    int best = 0;
    for (int i = 0; i < count; ++i) {
      squared[i] = Squared(query, &points[3 * i]);
      if (squared[i] < squared[best]) best = i;
    }
    int id = -2;
    const double distance = tree.FindNearestPoint(query, id);
    ASSERT_GE(id, 0);
    // Equal distances; a different id only for an exact tie.
    EXPECT_EQ(distance, std::sqrt(double(squared[best]))) << "query " << q / 3;
    EXPECT_EQ(squared[id], squared[best]);
    EXPECT_EQ(tree.FindNearestPoint(asDoubles), id);
    int doubleId = -2;
    EXPECT_NEAR(tree.FindNearestPoint(asDoubles, doubleId), distance, 1e-6 * (1 + distance));
    EXPECT_EQ(doubleId, id);

    double within = -1;
    EXPECT_EQ(tree.FindNearestPointWithinRadius(query, float(distance) * 1.001f + 1e-6f, within),
              id);
    EXPECT_NEAR(within, squared[best], 1e-6 * (1 + squared[best]));
    EXPECT_EQ(tree.FindNearestPointWithinRadius(query, float(distance) * 0.999f, within), -1);
    EXPECT_EQ(within, kInfinity);

    if (q % 30 != 0) continue;
    const float radius = std::sqrt(squared[best]) + 0.05f;
    Ids expected;
    for (int i = 0; i < count; ++i)
      if (std::sqrt(squared[i]) <= radius) expected.push_back(i);
    EXPECT_EQ(Sorted(tree.FindPointsWithinRadius(query, radius)), expected);
    vtkIdList* five = tree.FindNearestNPoints(5, query);
    ASSERT_EQ(five->GetNumberOfIds(), 5);
    EXPECT_EQ(squared[five->GetId(0)], squared[best]);
    const float fifth = squared[five->GetId(4)];
    EXPECT_LE(std::count_if(squared.begin(), squared.end(), [&](float s) { return s < fifth; }), 4);
  }
}

// A far query over a tiny cloud, where VTK's own closest-point search answers point 0.
TEST(KdTree, FarQueryOverTinyCloudFindsTheTrueNearest) {
  Mesh cloud = Cloud({0.779919f, 0.227339f, 0.0763083f, 0.978223f, 0.438409f, 0.318972f});
  KdTree tree(cloud);
  float query[3] = {0.840643f, 0.306928f, 0.790698f};
  EXPECT_EQ(tree.FindNearestPoint(query), 1);
  double squared = 0;
  EXPECT_EQ(tree.FindNearestPointWithinRadius(query, 0.6f, squared), 1);
  EXPECT_NEAR(squared, 0.25874, 1e-5);
}

TEST(KdTree, QueriesByPointIdAndListCounts) {
  Mesh cloud = Cloud({0, 0, 0, 1, 0, 0, 0, 2, 0, 5, 5, 5});
  KdTree tree(cloud);
  for (int id = 0; id < 4; ++id) {
    int nearest = -2;
    EXPECT_EQ(tree.FindNearestPoint(id, nearest), 0.0);
    EXPECT_EQ(nearest, id);
    EXPECT_EQ(Sorted(tree.FindPointsWithinRadius(id, 0.0f)), (Ids{id}));
  }
  EXPECT_EQ(Sorted(tree.FindPointsWithinRadius(0, 1.0f)), (Ids{0, 1}));
  vtkIdList* two = tree.FindNearestNPoints(2, 2);
  EXPECT_EQ(Ids(two->begin(), two->end()), (Ids{2, 0}));
  double squared = -1;
  EXPECT_EQ(tree.FindNearestPointWithinRadius(1, 0.5f, squared), 1);
  EXPECT_EQ(squared, 0.0);
  const float query[3] = {0.9f, 0, 0};
  EXPECT_EQ(Sorted(tree.FindNearestNPoints(10, query)), (Ids{0, 1, 2, 3}));
  EXPECT_EQ(tree.FindNearestNPoints(0, query)->GetNumberOfIds(), 0);
  EXPECT_EQ(tree.FindNearestNPoints(-3, query), two);  // one result list, emptied
  EXPECT_EQ(two->GetNumberOfIds(), 0);
}

// Every case where there is no point to give answers -1, an infinite distance and an empty
// list, without reading outside any storage.
TEST(KdTree, NoPointToGive) {
  vtkNew<vtkPolyData> noPointsObject;
  Mesh emptyCloud = Cloud({});
  Mesh cloud = Cloud({0, 0, 0, 1, 1, 1});
  const struct {
    const char* name;
    vtkPolyData* mesh;  // null: never bound
    float query[3];
    int pointId;
    float radius;
  } cases[] = {
      {"unbound", nullptr, {0, 0, 0}, 0, 1},
      {"no points object", noPointsObject, {0, 0, 0}, 0, 1},
      {"empty point set", emptyCloud, {0, 0, 0}, 0, 1},
      {"NaN query / negative id", cloud, {kNaN, 0, 0}, -1, 1},
      {"infinite query / id past the end", cloud, {0, INFINITY, 0}, 2, 1},
      {"negative radius / huge id", cloud, {0.1f, 0, 0}, 1 << 30, -1},
      {"NaN radius", cloud, {0.1f, 0, 0}, 1 << 30, kNaN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    KdTree tree;
    if (c.mesh != nullptr) tree.SetPolyData(c.mesh);
    float query[3] = {c.query[0], c.query[1], c.query[2]};
    double asDoubles[3] = {query[0], query[1], query[2]};
    double squared = 0;
    int id = 7;
    if (c.radius >= 0) {
      EXPECT_EQ(tree.FindNearestPoint(query), -1);
      EXPECT_EQ(tree.FindNearestPoint(asDoubles, id), kInfinity);
      EXPECT_EQ(id, -1);
      EXPECT_EQ(tree.FindNearestNPoints(3, query)->GetNumberOfIds(), 0);
    }
    id = 7;
    EXPECT_EQ(tree.FindNearestPoint(c.pointId, id), kInfinity);
    EXPECT_EQ(id, -1);
    EXPECT_EQ(tree.FindNearestPointWithinRadius(query, c.radius, squared), -1);
    EXPECT_EQ(squared, kInfinity);
    EXPECT_EQ(tree.FindNearestPointWithinRadius(c.pointId, c.radius, squared), -1);
    EXPECT_EQ(tree.FindPointsWithinRadius(query, c.radius)->GetNumberOfIds(), 0);
    EXPECT_EQ(tree.FindPointsWithinRadius(c.pointId, c.radius)->GetNumberOfIds(), 0);
    EXPECT_EQ(tree.FindNearestNPoints(3, c.pointId)->GetNumberOfIds(), 0);
  }
}

TEST(KdTree, RebindingReleasedMeshAndDoubleStorage) {
  KdTree tree;
  float query[3] = {9, 0, 0};
  {
    tree.SetPolyData(Cloud({0, 0, 0, 10, 0, 0}));
    EXPECT_EQ(tree.FindNearestPoint(query), 1);
    tree.SetPolyData(Cloud({10, 0, 0, 0, 0, 0, 20, 0, 0}));
  }
  // The caller's references are gone; the locator keeps the bound mesh alive.
  query[0] = 19;
  int id = -2;
  EXPECT_EQ(tree.FindNearestPoint(query, id), 1.0);
  EXPECT_EQ(id, 2);

  vtkNew<vtkPolyData> mesh;
  double* xyz = AllocatePointsInDoubleFormat(mesh, 2);
  const double values[] = {0, 0, 0, 4, 0, 3};
  std::copy(values, values + 6, xyz);
  tree.SetPolyData(mesh);
  EXPECT_EQ(tree.FindNearestPoint(1, id), 0.0);
  EXPECT_EQ(id, 1);
  EXPECT_EQ(Sorted(tree.FindPointsWithinRadius(0, 5.0f)), (Ids{0, 1}));
}
