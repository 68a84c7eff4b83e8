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

Ids Sorted(vtkIdList* list) {
  Ids ids(list->begin(), list->end());
  std::sort(ids.begin(), ids.end());
  return ids;
}

// Queries inside, near and far from the cloud, by position and by point id, against brute force.
TEST(KdTree, EveryQueryFormMatchesBruteForce) {
  const int count = 3000;
  std::mt19937 random(11);
  std::uniform_real_distribution<float> unit(0, 1), wide(-4, 5);
  std::vector<float> points(3 * count);
  for (float& value : points) value = unit(random);
  Mesh cloud = Cloud(points);
  KdTree tree(cloud);
  for (int q = 0; q < 600; ++q) {
    float query[3];
    for (float& value : query) value = q < 400 ? wide(random) : unit(random);
    double asDoubles[3] = {query[0], query[1], query[2]}, within = -1;
    std::vector<float> squared(count);
    for (int i = 0; i < 3 * count; ++i)
      squared[i / 3] += (query[i % 3] - points[i]) * (query[i % 3] - points[i]);
    const float best = *std::min_element(squared.begin(), squared.end());
    int id = -2, doubleId = -2;
    const double distance = tree.FindNearestPoint(query, id);
    ASSERT_GE(id, 0);
    EXPECT_EQ(distance, std::sqrt(double(best))) << "query " << q;
    EXPECT_EQ(squared[id], best);  // a different id only for an exact tie
    EXPECT_EQ(tree.FindNearestPoint(asDoubles), id);
    EXPECT_NEAR(tree.FindNearestPoint(asDoubles, doubleId), distance, 1e-6 * (1 + distance));
    EXPECT_EQ(doubleId, id);
    EXPECT_EQ(tree.FindNearestPointWithinRadius(query, float(distance) * 1.001f + 1e-6f, within),
              id);
    EXPECT_NEAR(within, best, 1e-6 * (1 + best));
    EXPECT_EQ(tree.FindNearestPointWithinRadius(query, float(distance) * 0.999f, within), -1);
    EXPECT_EQ(within, kInfinity);
    if (q % 10 != 0) continue;
    EXPECT_EQ(tree.FindNearestPoint(q, doubleId), 0.0);
    EXPECT_EQ(doubleId, q);
    EXPECT_EQ(tree.FindNearestPointWithinRadius(q, 0.0f, within), q);
    const float radius = std::sqrt(best) + 0.05f;
    Ids expected;
    for (int i = 0; i < count; ++i)
      if (std::sqrt(squared[i]) <= radius) expected.push_back(i);
    EXPECT_EQ(Sorted(tree.FindPointsWithinRadius(query, radius)), expected);
    vtkIdList* five = tree.FindNearestNPoints(5, query);
    ASSERT_EQ(five->GetNumberOfIds(), 5);
    EXPECT_EQ(squared[five->GetId(0)], best);
    const float fifth = squared[five->GetId(4)];
    EXPECT_LE(std::count_if(squared.begin(), squared.end(), [&](float s) { return s < fifth; }), 4);
    EXPECT_EQ(Sorted(tree.FindPointsWithinRadius(id, 0.0f)), (Ids{id}));
    EXPECT_EQ(tree.FindNearestNPoints(1, id)->GetId(0), id);
  }
  // A far query over a tiny cloud, where VTK's own closest-point search answers point 0.
  tree.SetPolyData(Cloud({0.779919f, 0.227339f, 0.0763083f, 0.978223f, 0.438409f, 0.318972f}));
  float query[3] = {0.840643f, 0.306928f, 0.790698f};
  EXPECT_EQ(tree.FindNearestPoint(query), 1);
  double squared = 0;
  EXPECT_EQ(tree.FindNearestPointWithinRadius(query, 0.6f, squared), 1);
  EXPECT_NEAR(squared, 0.25874, 1e-5);
}

// Every case where there is no point to give answers -1, an infinite distance and an empty
// list, without reading outside any storage. One tree, rebound from case to case.
TEST(KdTree, NoPointToGive) {
  vtkNew<vtkPolyData> noPointsObject;
  Mesh emptyCloud = Cloud({}), cloud = Cloud({0, 0, 0, 1, 1, 1});
  const struct {
    vtkPolyData* mesh;  // null: never bound
    float query[3];
    int pointId;
    float radius;
  } cases[] = {
      {nullptr, {0, 0, 0}, 0, 1},           {cloud, {kNaN, 0, 0}, -1, 1},
      {emptyCloud, {0, 0, 0}, 0, 1},        {noPointsObject, {0, 0, 0}, 0, 1},
      {cloud, {0, INFINITY, 0}, 2, 1},      {cloud, {0.1f, 0, 0}, 1 << 30, -1},
      {cloud, {0.1f, 0, 0}, 1 << 30, kNaN},
  };
  KdTree tree;
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    if (c.mesh != nullptr) tree.SetPolyData(c.mesh);
    float query[3] = {c.query[0], c.query[1], c.query[2]};
    double asDoubles[3] = {query[0], query[1], query[2]}, squared = 0;
    int id = 7;
    if (c.radius >= 0) {
      EXPECT_EQ(tree.FindNearestPoint(query), -1);
      EXPECT_EQ(tree.FindNearestPoint(asDoubles, id), kInfinity);
      EXPECT_EQ(id, -1);
      EXPECT_EQ(tree.FindNearestNPoints(3, query)->GetNumberOfIds(), 0);
    }
    EXPECT_EQ(tree.FindNearestPoint(c.pointId, id = 7), kInfinity);
    EXPECT_EQ(id, -1);
    EXPECT_EQ(tree.FindNearestPointWithinRadius(query, c.radius, squared), -1);
    EXPECT_EQ(squared, kInfinity);
    EXPECT_EQ(tree.FindNearestPointWithinRadius(c.pointId, c.radius, squared), -1);
    EXPECT_EQ(tree.FindPointsWithinRadius(query, c.radius)->GetNumberOfIds(), 0);
    EXPECT_EQ(tree.FindPointsWithinRadius(c.pointId, c.radius)->GetNumberOfIds(), 0);
    EXPECT_EQ(tree.FindNearestNPoints(3, c.pointId)->GetNumberOfIds(), 0);
  }
}

}  // namespace
