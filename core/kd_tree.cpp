#include "core/kd_tree.h"

#include <vtkFloatArray.h>
#include <vtkIdList.h>
#include <vtkKdTreePointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <cmath>
#include <limits>

namespace Ostrel {
namespace Core {
namespace Impl {

namespace {

const int kNoPoint = -1;
const double kNoDistance = std::numeric_limits<double>::infinity();

vtkIdType PointCount(vtkPolyData* mesh) {
  return (mesh != nullptr && mesh->GetPoints() != nullptr) ? mesh->GetNumberOfPoints() : 0;
}

bool IsFinite(const double xyz[3]) {
  return std::isfinite(xyz[0]) && std::isfinite(xyz[1]) && std::isfinite(xyz[2]);
}

bool IsPointId(vtkPolyData* mesh, vtkIdType id) {
  return id >= 0 && id < PointCount(mesh);
}

// Point `id` as stored, in single precision: straight from float storage, or narrowed from the
// accessor for any other storage type. `id` must be a valid point id.
void ReadStoredPoint(vtkPolyData* mesh, vtkIdType id, float xyz[3]) {
  auto* floats = vtkFloatArray::SafeDownCast(mesh->GetPoints()->GetData());
  if (floats != nullptr) {
    const float* p = floats->GetPointer(3 * id);
    xyz[0] = p[0];
    xyz[1] = p[1];
    xyz[2] = p[2];
    return;
  }
  double p[3];
  mesh->GetPoint(id, p);
  xyz[0] = static_cast<float>(p[0]);
  xyz[1] = static_cast<float>(p[1]);
  xyz[2] = static_cast<float>(p[2]);
}

// Distance in single precision, widened only for the square root.
double FloatDistance(const float a[3], const float b[3]) {
  const float dx = a[0] - b[0];
  const float dy = a[1] - b[1];
  const float dz = a[2] - b[2];
  const float sum = dx * dx + dy * dy + dz * dz;
  return std::sqrt(static_cast<double>(sum));
}

double DoubleDistance(const double a[3], const double b[3]) {
  const double dx = a[0] - b[0];
  const double dy = a[1] - b[1];
  const double dz = a[2] - b[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

void Widen(const float in[3], double out[3]) {
  out[0] = in[0];
  out[1] = in[1];
  out[2] = in[2];
}

// The locator's closest-point searches can miss the nearest point for a query outside the
// bounding box of the points (measured: up to 60% too far); inside the box they are exact.
bool IsWithinPointBounds(vtkPolyData* mesh, const double xyz[3]) {
  const double* box = mesh->GetPoints()->GetBounds();
  return xyz[0] >= box[0] && xyz[0] <= box[1] && xyz[1] >= box[2] && xyz[1] <= box[3] &&
         xyz[2] >= box[4] && xyz[2] <= box[5];
}

double SquaredDistance(vtkPolyData* mesh, vtkIdType id, const double xyz[3]) {
  double found[3];
  mesh->GetPoint(id, found);
  const double distance = DoubleDistance(found, xyz);
  return distance * distance;
}

}  // namespace

KdTree::KdTree()
    : locator(vtkKdTreePointLocator::New()),
      resultIds(vtkIdList::New()),
      polyData(nullptr),
      nearestIds(vtkIdList::New()) {}

KdTree::KdTree(vtkPolyData* mesh) : KdTree() {
  SetPolyData(mesh);
}

KdTree::~KdTree() {
  locator->Delete();
  resultIds->Delete();
  nearestIds->Delete();
}

void KdTree::SetPolyData(vtkPolyData* mesh) {
  polyData = mesh;
  // The locator keeps a built structure even when handed another data set: drop it so the
  // queries search the new mesh.
  locator->FreeSearchStructure();
  locator->SetDataSet(mesh);
  // The locator cannot build over a mesh without points (it would crash on a missing points
  // object); queries on such a mesh answer "no point" without asking it.
  if (PointCount(mesh) > 0) {
    locator->Update();
  }
}

int KdTree::FindNearestPoint(double* point) {
  return NearestId(point);
}

int KdTree::FindNearestPoint(float* point) {
  double query[3];
  Widen(point, query);
  return NearestId(query);
}

int KdTree::FindNearestPoint(int pointId) {
  float stored[3];
  if (!ReadOwnPoint(pointId, stored)) {
    return kNoPoint;
  }
  return FindNearestPoint(stored);
}

double KdTree::FindNearestPoint(double* point, int& nearestId) {
  nearestId = NearestId(point);
  if (nearestId == kNoPoint) {
    return kNoDistance;
  }
  double found[3];
  polyData->GetPoint(nearestId, found);
  return DoubleDistance(point, found);
}

double KdTree::FindNearestPoint(float* point, int& nearestId) {
  nearestId = FindNearestPoint(point);
  if (nearestId == kNoPoint) {
    return kNoDistance;
  }
  float found[3];
  ReadStoredPoint(polyData, nearestId, found);
  return FloatDistance(point, found);
}

double KdTree::FindNearestPoint(int pointId, int& nearestId) {
  float stored[3];
  if (!ReadOwnPoint(pointId, stored)) {
    nearestId = kNoPoint;
    return kNoDistance;
  }
  return FindNearestPoint(stored, nearestId);
}

int KdTree::FindNearestPointWithinRadius(double* point, double radius, double& squaredDistance) {
  if (!CanSearch(point) || !(radius >= 0.0)) {
    squaredDistance = kNoDistance;
    return kNoPoint;
  }
  if (!IsWithinPointBounds(polyData, point)) {
    return NearestOutsideBoundsWithinRadius(point, radius, squaredDistance);
  }
  const vtkIdType id = locator->FindClosestPointWithinRadius(radius, point, squaredDistance);
  if (!IsPointId(polyData, id)) {
    squaredDistance = kNoDistance;
    return kNoPoint;
  }
  return static_cast<int>(id);
}

int KdTree::FindNearestPointWithinRadius(float* point, float radius, double& squaredDistance) {
  double query[3];
  Widen(point, query);
  return FindNearestPointWithinRadius(query, static_cast<double>(radius), squaredDistance);
}

int KdTree::FindNearestPointWithinRadius(int pointId, float radius, double& squaredDistance) {
  float stored[3];
  if (!ReadOwnPoint(pointId, stored)) {
    squaredDistance = kNoDistance;
    return kNoPoint;
  }
  return FindNearestPointWithinRadius(stored, radius, squaredDistance);
}

vtkIdList* KdTree::FindPointsWithinRadius(const double* point, double radius) {
  resultIds->Reset();
  if (CanSearch(point) && radius >= 0.0) {
    locator->FindPointsWithinRadius(radius, point, resultIds);
  }
  return resultIds;
}

vtkIdList* KdTree::FindPointsWithinRadius(const float* point, float radius) {
  double query[3];
  Widen(point, query);
  return FindPointsWithinRadius(query, static_cast<double>(radius));
}

vtkIdList* KdTree::FindPointsWithinRadius(int pointId, float radius) {
  float stored[3];
  if (!ReadOwnPoint(pointId, stored)) {
    resultIds->Reset();
    return resultIds;
  }
  return FindPointsWithinRadius(stored, radius);
}

vtkIdList* KdTree::FindNearestNPoints(int n, const double* point) {
  resultIds->Reset();
  if (CanSearch(point) && n > 0) {
    // Asking for more points than there are gives all of them; clamping spares VTK's warning.
    const vtkIdType available = PointCount(polyData);
    const int wanted = n < available ? n : static_cast<int>(available);
    locator->FindClosestNPoints(wanted, point, resultIds);
  }
  return resultIds;
}

vtkIdList* KdTree::FindNearestNPoints(int n, const float* point) {
  double query[3];
  Widen(point, query);
  return FindNearestNPoints(n, query);
}

vtkIdList* KdTree::FindNearestNPoints(int n, int pointId) {
  float stored[3];
  if (!ReadOwnPoint(pointId, stored)) {
    resultIds->Reset();
    return resultIds;
  }
  return FindNearestNPoints(n, stored);
}

bool KdTree::CanSearch(const double* point) const {
  return PointCount(polyData) > 0 && IsFinite(point);
}

bool KdTree::ReadOwnPoint(int pointId, float xyz[3]) const {
  if (!IsPointId(polyData, pointId)) {
    return false;
  }
  ReadStoredPoint(polyData, pointId, xyz);
  return true;
}

vtkIdType KdTree::NearestOutsideBounds(const double* point) {
  // The locator's N-nearest search does not share the fault of its closest-point search.
  locator->FindClosestNPoints(1, point, nearestIds);
  return nearestIds->GetNumberOfIds() > 0 ? nearestIds->GetId(0) : kNoPoint;
}

int KdTree::NearestOutsideBoundsWithinRadius(const double* point, double radius,
                                             double& squaredDistance) {
  const vtkIdType id = NearestOutsideBounds(point);
  if (IsPointId(polyData, id)) {
    const double found = SquaredDistance(polyData, id, point);
    if (found <= radius * radius) {
      squaredDistance = found;
      return static_cast<int>(id);
    }
  }
  squaredDistance = kNoDistance;
  return kNoPoint;
}

int KdTree::NearestId(const double* point) {
  if (!CanSearch(point)) {
    return kNoPoint;
  }
  const vtkIdType id = IsWithinPointBounds(polyData, point) ? locator->FindClosestPoint(point)
                                                            : NearestOutsideBounds(point);
  // The locator answers from the points it indexed; an id the mesh no longer has is no answer.
  return IsPointId(polyData, id) ? static_cast<int>(id) : kNoPoint;
}

}  // namespace Impl
}  // namespace Core
}  // namespace Ostrel
