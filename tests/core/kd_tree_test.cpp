#include "core/kd_tree.h"

#include <gtest/gtest.h>
#include <vtkIdList.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "core/poly_data_storage.h"

using namespace Ostrel::Core::Impl;

namespace {

const double kInfinity = std::numeric_limits<double>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

vtkSmartPointer<vtkPolyData> Cloud(const std::vector<float>& coordinates) {
  vtkSmartPointer<vtkPolyData> mesh;
  mesh.TakeReference(CreatePolyData(
      coordinates.data(), static_cast<unsigned>(coordinates.size() / 3), nullptr, nullptr, 0));
  return mesh;
}

std::vector<float> RandomCoordinates(int count, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  std::vector<float> coordinates(3 * count);
  for (float& value : coordinates) value = unit(random);
  return coordinates;
}

float SquaredFloatDistance(const float* a, const float* b) {
  const float dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
  return dx * dx + dy * dy + dz * dz;
}

struct BruteForce {
  const std::vector<float>& points;
  int Count() const { return static_cast<int>(points.size() / 3); }
  float SquaredDistance(const float* q, int id) const {
    return SquaredFloatDistance(q, &points[3 * id]);
  }
  int Nearest(const float* q) const {
    int best = 0;
    for (int i = 1; i < Count(); ++i) {
      if (SquaredDistance(q, i) < SquaredDistance(q, best)) best = i;
    }
    return best;
  }
  std::vector<vtkIdType> WithinRadius(const float* q, float radius) const {
    std::vector<vtkIdType> ids;
    for (int i = 0; i < Count(); ++i) {
      if (std::sqrt(SquaredDistance(q, i)) <= radius) ids.push_back(i);
    }
    return ids;
  }
};

std::vector<vtkIdType> Sorted(vtkIdList* list) {
  std::vector<vtkIdType> ids(list->begin(), list->end());
  std::sort(ids.begin(), ids.end());
  return ids;
}

// Queries inside the cloud's box, just outside it, and several box sizes away.
std::vector<float> Queries(unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> spread(-4.0f, 5.0f);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  std::vector<float> queries;
  for (int i = 0; i < 600; ++i) {
    const bool inside = i % 3 == 0;
    for (int k = 0; k < 3; ++k) queries.push_back(inside ? unit(random) : spread(random));
  }
  return queries;
}

}  // namespace

TEST(KdTree, NearestMatchesBruteForce) {
  const std::vector<float> points = RandomCoordinates(3000, 11);
  const BruteForce brute{points};
  auto cloud = Cloud(points);
  KdTree tree(cloud);
  const std::vector<float> queries = Queries(12);
  for (size_t q = 0; q < queries.size(); q += 3) {
    float query[3] = {queries[q], queries[q + 1], queries[q + 2]};
    double asDoubles[3] = {query[0], query[1], query[2]};
    const int expected = brute.Nearest(query);
    const float expectedSquared = brute.SquaredDistance(query, expected);

    int id = -2;
    const double distance = tree.FindNearestPoint(query, id);
    ASSERT_GE(id, 0);
    // Equal distances; a different id only for an exact tie.
    EXPECT_EQ(distance, std::sqrt(static_cast<double>(expectedSquared))) << "query " << q / 3;
    EXPECT_EQ(brute.SquaredDistance(query, id), expectedSquared);
    EXPECT_EQ(tree.FindNearestPoint(query), id);
    EXPECT_EQ(tree.FindNearestPoint(asDoubles), id);

    int doubleId = -2;
    const double doubleDistance = tree.FindNearestPoint(asDoubles, doubleId);
    EXPECT_EQ(doubleId, id);
    EXPECT_NEAR(doubleDistance, distance, 1e-6 * (1 + distance));

    double squared = -1;
    const float generous = static_cast<float>(distance) * 1.001f + 1e-6f;
    EXPECT_EQ(tree.FindNearestPointWithinRadius(query, generous, squared), id);
    EXPECT_NEAR(squared, expectedSquared, 1e-6 * (1 + expectedSquared));
    EXPECT_EQ(
        tree.FindNearestPointWithinRadius(query, static_cast<float>(distance) * 0.999f, squared),
        -1);
    EXPECT_EQ(squared, kInfinity);
  }
}

// A far query over a tiny cloud, where VTK's own closest-point search answers point 0.
TEST(KdTree, FarQueryOverTinyCloudFindsTheTrueNearest) {
  auto cloud = Cloud({0.779919f, 0.227339f, 0.0763083f, 0.978223f, 0.438409f, 0.318972f});
  KdTree tree(cloud);
  float query[3] = {0.840643f, 0.306928f, 0.790698f};
  EXPECT_EQ(tree.FindNearestPoint(query), 1);
  double squared = 0;
  EXPECT_EQ(tree.FindNearestPointWithinRadius(query, 0.6f, squared), 1);
  EXPECT_NEAR(squared, 0.25874, 1e-5);
}

TEST(KdTree, ListQueriesMatchBruteForce) {
  const std::vector<float> points = RandomCoordinates(2000, 21);
  const BruteForce brute{points};
  auto cloud = Cloud(points);
  KdTree tree(cloud);
  const std::vector<float> queries = Queries(22);
  for (size_t q = 0; q < queries.size(); q += 30) {
    const float query[3] = {queries[q], queries[q + 1], queries[q + 2]};
    const int nearest = brute.Nearest(query);
    const float radius = std::sqrt(brute.SquaredDistance(query, nearest)) + 0.05f;
    EXPECT_EQ(Sorted(tree.FindPointsWithinRadius(query, radius)),
              brute.WithinRadius(query, radius));

    vtkIdList* five = tree.FindNearestNPoints(5, query);
    ASSERT_EQ(five->GetNumberOfIds(), 5);
    EXPECT_EQ(brute.SquaredDistance(query, static_cast<int>(five->GetId(0))),
              brute.SquaredDistance(query, nearest));
    const float fifth = brute.SquaredDistance(query, static_cast<int>(five->GetId(4)));
    int closer = 0;
    for (int i = 0; i < brute.Count(); ++i) closer += brute.SquaredDistance(query, i) < fifth;
    EXPECT_LE(closer, 4);
  }
}

TEST(KdTree, QueriesByPointId) {
  const std::vector<float> points = {0, 0, 0, 1, 0, 0, 0, 2, 0, 5, 5, 5};
  auto cloud = Cloud(points);
  KdTree tree(cloud);
  for (int id = 0; id < 4; ++id) {
    EXPECT_EQ(tree.FindNearestPoint(id), id);
    int nearest = -2;
    EXPECT_EQ(tree.FindNearestPoint(id, nearest), 0.0);
    EXPECT_EQ(nearest, id);
    EXPECT_EQ(Sorted(tree.FindPointsWithinRadius(id, 0.0f)), (std::vector<vtkIdType>{id}));
  }
  EXPECT_EQ(Sorted(tree.FindPointsWithinRadius(0, 1.0f)), (std::vector<vtkIdType>{0, 1}));
  vtkIdList* two = tree.FindNearestNPoints(2, 2);
  EXPECT_EQ(std::vector<vtkIdType>(two->begin(), two->end()), (std::vector<vtkIdType>{2, 0}));
  double squared = -1;
  EXPECT_EQ(tree.FindNearestPointWithinRadius(1, 0.5f, squared), 1);
  EXPECT_EQ(squared, 0.0);
  float exact[3] = {0, 2, 0};
  int id = -2;
  EXPECT_EQ(tree.FindNearestPoint(exact, id), 0.0);
  EXPECT_EQ(id, 2);
}

TEST(KdTree, ListQueriesShareOneResultList) {
  auto cloud = Cloud({0, 0, 0, 1, 0, 0, 9, 9, 9});
  KdTree tree(cloud);
  const float nearOrigin[3] = {0, 0, 0};
  const float farCorner[3] = {9, 9, 9};
  vtkIdList* first = tree.FindPointsWithinRadius(nearOrigin, 1.5f);
  ASSERT_EQ(first->GetNumberOfIds(), 2);
  vtkIdList* second = tree.FindNearestNPoints(1, farCorner);
  EXPECT_EQ(first, second);
  EXPECT_EQ(std::vector<vtkIdType>(second->begin(), second->end()), (std::vector<vtkIdType>{2}));
  // A nearest-point query between them leaves the list alone.
  tree.FindNearestPoint(const_cast<float*>(nearOrigin));
  float outside[3] = {-50, 0, 0};
  tree.FindNearestPoint(outside);
  EXPECT_EQ(std::vector<vtkIdType>(second->begin(), second->end()), (std::vector<vtkIdType>{2}));
}

// Every case where there is no point to give answers -1, an infinite distance and an empty
// list, without reading outside any storage.
TEST(KdTree, NoPointToGive) {
  vtkNew<vtkPolyData> noPointsObject;
  auto emptyCloud = Cloud({});
  auto cloud = Cloud({0, 0, 0, 1, 1, 1});
  struct Case {
    const char* name;
    vtkPolyData* mesh;  // null: never bound
    float query[3];
    int pointId;
    float radius;
  };
  const Case cases[] = {
      {"unbound", nullptr, {0, 0, 0}, 0, 1},
      {"no points object", noPointsObject, {0, 0, 0}, 0, 1},
      {"empty point set", emptyCloud, {0, 0, 0}, 0, 1},
      {"NaN query / negative id", cloud, {kNaN, 0, 0}, -1, 1},
      {"infinite query / id past the end", cloud, {0, INFINITY, 0}, 2, 1},
      {"negative radius / huge id", cloud, {0.1f, 0, 0}, 1 << 30, -1},
      {"NaN radius", cloud, {0.1f, 0, 0}, 1 << 30, kNaN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    KdTree tree;
    if (c.mesh != nullptr) tree.SetPolyData(c.mesh);
    float query[3] = {c.query[0], c.query[1], c.query[2]};
    double asDoubles[3] = {query[0], query[1], query[2]};
    double squared = 0;
    int id = 7;
    if (c.radius >= 0) {
      EXPECT_EQ(tree.FindNearestPoint(query), -1);
      EXPECT_EQ(tree.FindNearestPoint(asDoubles), -1);
      EXPECT_EQ(tree.FindNearestPoint(query, id), kInfinity);
      EXPECT_EQ(id, -1);
      EXPECT_EQ(tree.FindNearestPoint(asDoubles, id), kInfinity);
      EXPECT_EQ(tree.FindNearestNPoints(3, query)->GetNumberOfIds(), 0);
    }
    EXPECT_EQ(tree.FindNearestPoint(c.pointId), -1);
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

TEST(KdTree, NearestNPointsCountIsClamped) {
  auto cloud = Cloud({0, 0, 0, 1, 0, 0, 3, 0, 0});
  KdTree tree(cloud);
  const float query[3] = {0.9f, 0, 0};
  EXPECT_EQ(Sorted(tree.FindNearestNPoints(10, query)), (std::vector<vtkIdType>{0, 1, 2}));
  EXPECT_EQ(tree.FindNearestNPoints(0, query)->GetNumberOfIds(), 0);
  EXPECT_EQ(tree.FindNearestNPoints(-3, query)->GetNumberOfIds(), 0);
}

TEST(KdTree, RebindingAndReleasedMesh) {
  KdTree tree;
  {
    auto first = Cloud({0, 0, 0, 10, 0, 0});
    tree.SetPolyData(first);
    float query[3] = {9, 0, 0};
    EXPECT_EQ(tree.FindNearestPoint(query), 1);
    auto second = Cloud({10, 0, 0, 0, 0, 0, 20, 0, 0});
    tree.SetPolyData(second);
    EXPECT_EQ(tree.FindNearestPoint(query), 0);
  }
  // The caller's references are gone; the locator keeps the bound mesh alive.
  float query[3] = {19, 0, 0};
  int id = -2;
  EXPECT_EQ(tree.FindNearestPoint(query, id), 1.0);
  EXPECT_EQ(id, 2);
}

TEST(KdTree, DoublePointStorageIsReadCorrectly) {
  vtkNew<vtkPolyData> mesh;
  double* coordinates = AllocatePointsInDoubleFormat(mesh, 2);
  const double values[] = {0, 0, 0, 4, 0, 3};
  std::copy(values, values + 6, coordinates);
  KdTree tree(mesh);
  int id = -2;
  EXPECT_EQ(tree.FindNearestPoint(1, id), 0.0);
  EXPECT_EQ(id, 1);
  float origin[3] = {0, 0, 0};
  EXPECT_EQ(Sorted(tree.FindPointsWithinRadius(0, 5.0f)), (std::vector<vtkIdType>{0, 1}));
  EXPECT_EQ(tree.FindNearestPoint(origin, id), 0.0);
}
