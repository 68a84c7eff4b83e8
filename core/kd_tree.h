#pragma once
// Nearest-point and radius queries over the points of one mesh, answered by VTK's k-d tree
// point locator. Ids are 32-bit. A query point is three doubles, three floats, or the id of a
// point of the tree's own mesh (read from its float point storage; the point itself takes
// part in the search).
//
// The list queries fill one result list owned by the tree and return it: its content is that
// of the latest list query, and the caller never releases it.
//
// When there is no point to give, every query says so the same way: the nearest-point forms
// return id -1 (and -1 in the out id), the distance forms return +infinity, the within-radius
// forms return -1 with an infinite squared distance, and the list queries return the emptied
// result list. That happens for an unbound tree, a mesh without a points object or without
// points, a point id outside the mesh, a query with a NaN or infinite coordinate, and a
// negative or NaN radius; nothing outside the mesh's storage is read. An infinite distance
// fails every "within radius" comparison, so a caller that skips the id check still treats
// the query as having no point near it.
//
// VTK's closest-point search can miss the nearest point for a query outside the bounding box
// of the points; such queries are answered by its N-nearest search instead, which ranks the
// points by single-precision distances (so among points whose distances differ by about a
// float's rounding it may give either).
// Ties between equally near points are left to the locator. Queries by coordinates read the
// points of any storage type; queries by id read float storage directly and any other type
// through the mesh's accessor.

#include <vtkType.h>

class vtkIdList;
class vtkKdTreePointLocator;
class vtkPolyData;

namespace Ostrel {
namespace Core {
namespace Impl {

class KdTree {
 public:
  KdTree();
  // Binds the tree to `mesh` (not owned; the locator keeps its own reference).
  explicit KdTree(vtkPolyData* mesh);
  ~KdTree();
  KdTree(const KdTree&) = delete;
  KdTree& operator=(const KdTree&) = delete;

  // Binds the tree to another mesh and rebuilds the search structure.
  void SetPolyData(vtkPolyData* mesh);

  int FindNearestPoint(double* point);
  int FindNearestPoint(float* point);
  int FindNearestPoint(int pointId);

  // Id of the nearest point in `nearestId`; returns the distance to it.
  double FindNearestPoint(double* point, int& nearestId);
  double FindNearestPoint(float* point, int& nearestId);
  double FindNearestPoint(int pointId, int& nearestId);

  // The locator's answer for the nearest point within `radius`; `squaredDistance` receives the
  // squared distance it reports.
  int FindNearestPointWithinRadius(double* point, double radius, double& squaredDistance);
  int FindNearestPointWithinRadius(float* point, float radius, double& squaredDistance);
  int FindNearestPointWithinRadius(int pointId, float radius, double& squaredDistance);

  vtkIdList* FindPointsWithinRadius(const double* point, double radius);
  vtkIdList* FindPointsWithinRadius(const float* point, float radius);
  vtkIdList* FindPointsWithinRadius(int pointId, float radius);

  vtkIdList* FindNearestNPoints(int n, const double* point);
  vtkIdList* FindNearestNPoints(int n, const float* point);
  vtkIdList* FindNearestNPoints(int n, int pointId);

 private:
  // True when the bound mesh has points and `point` is finite.
  bool CanSearch(const double* point) const;
  // Coordinates of point `pointId` of the bound mesh; false when there is no such point.
  bool ReadOwnPoint(int pointId, float xyz[3]) const;
  // Locator's nearest point, or -1 when there is none to give.
  int NearestId(const double* point);
  vtkIdType NearestOutsideBounds(const double* point);
  int NearestOutsideBoundsWithinRadius(const double* point, double radius, double& squaredDistance);

  vtkKdTreePointLocator* locator;
  vtkIdList* resultIds;
  vtkPolyData* polyData;
  vtkIdList* nearestIds;  // scratch for nearest-point queries, never handed out
};

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
