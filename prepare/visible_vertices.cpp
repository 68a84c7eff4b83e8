#include "prepare/visible_vertices.h"

#include <embree3/rtcore.h>
#include <vtkCellArray.h>
#include <vtkIdList.h>
#include <vtkPoints.h>
#include <vtkPolygon.h>
#include <vtkSmartPointer.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <limits>
#include <memory>
#include <system_error>
#include <thread>

namespace Ostrel {
namespace Prepare {
namespace {

// The mesh as the rays see it: float points, the triangles of every polygon and, to tell a
// vertex's own polygons, the polygon of each triangle and the point ids of each polygon.
struct RayMesh {
  std::vector<float> points;            // x y z per point, and one float of padding (Embree)
  std::vector<unsigned> triangles;      // three point ids per triangle
  std::vector<vtkIdType> polygonOf;     // per triangle
  std::vector<vtkIdType> polygonStart;  // polygon p: polygonPoints[start[p] .. start[p + 1])
  std::vector<vtkIdType> polygonPoints;
};

bool polygonHasPoint(const RayMesh& rays, vtkIdType polygon, vtkIdType point) {
  const auto first = rays.polygonPoints.begin() + rays.polygonStart[polygon];
  const auto last = rays.polygonPoints.begin() + rays.polygonStart[polygon + 1];
  return std::find(first, last, point) != last;
}

// Appends the triangles of a polygon of `n` > 3 points by ear cutting (concave polygons too),
// or as a fan when that fails, which happens for degenerate polygons only.
void addPolygonTriangles(vtkPoints* points, vtkIdType n, const vtkIdType* ids, vtkPolygon* polygon,
                         vtkIdList* corners, std::vector<unsigned>& triangles) {
  polygon->Initialize(static_cast<int>(n), ids, points);
  if (polygon->Triangulate(corners) != 0) {
    for (vtkIdType k = 0; k < corners->GetNumberOfIds(); ++k)
      triangles.push_back(static_cast<unsigned>(ids[corners->GetId(k)]));
    return;
  }
  for (vtkIdType k = 1; k + 1 < n; ++k) {
    triangles.insert(triangles.end(), {static_cast<unsigned>(ids[0]), static_cast<unsigned>(ids[k]),
                                       static_cast<unsigned>(ids[k + 1])});
  }
}

// False when a polygon names a point the mesh does not have.
bool addPolygons(vtkPolyData* mesh, RayMesh& rays) {
  auto polygon = vtkSmartPointer<vtkPolygon>::New();
  auto corners = vtkSmartPointer<vtkIdList>::New();
  vtkCellArray* cells = mesh->GetPolys();
  vtkIdType n = 0;
  const vtkIdType* ids = nullptr;
  const vtkIdType points = mesh->GetNumberOfPoints();
  rays.polygonStart.push_back(0);
  for (cells->InitTraversal(); cells->GetNextCell(n, ids);) {
    const auto outside = [points](vtkIdType id) { return id < 0 || id >= points; };
    if (std::any_of(ids, ids + n, outside)) return false;
    const size_t before = rays.triangles.size();
    if (n == 3) {
      for (int k = 0; k < 3; ++k) rays.triangles.push_back(static_cast<unsigned>(ids[k]));
    } else if (n > 3) {
      addPolygonTriangles(mesh->GetPoints(), n, ids, polygon, corners, rays.triangles);
    }
    const vtkIdType index = static_cast<vtkIdType>(rays.polygonStart.size()) - 1;
    rays.polygonOf.insert(rays.polygonOf.end(), (rays.triangles.size() - before) / 3, index);
    rays.polygonPoints.insert(rays.polygonPoints.end(), ids, ids + n);
    rays.polygonStart.push_back(static_cast<vtkIdType>(rays.polygonPoints.size()));
  }
  return true;
}

// False when a polygon names a point the mesh does not have.
bool makeRayMesh(vtkPolyData* mesh, RayMesh& rays) {
  const vtkIdType n = mesh->GetNumberOfPoints();
  rays.points.resize(static_cast<size_t>(3 * n + 1));
  for (vtkIdType i = 0; i < n; ++i) {
    double p[3];
    mesh->GetPoint(i, p);
    for (int k = 0; k < 3; ++k)
      rays.points[static_cast<size_t>(3 * i + k)] = static_cast<float>(p[k]);
  }
  return mesh->GetPolys() == nullptr || addPolygons(mesh, rays);
}

// A ray's Embree context followed by what its filter needs: Embree hands the filter a pointer
// to the context, the first member of this standard-layout struct.
struct VertexRay {
  RTCIntersectContext context;
  const RayMesh* rays;
  vtkIdType vertex;
};

// Occlusion filter: hits on the polygons of the ray's own vertex do not count.
void skipOwnPolygons(const RTCFilterFunctionNArguments* args) {
  const auto* ray = reinterpret_cast<const VertexRay*>(args->context);
  for (unsigned k = 0; k < args->N; ++k) {
    if (args->valid[k] == 0) continue;
    const unsigned triangle = RTCHitN_primID(args->hit, args->N, k);
    if (polygonHasPoint(*ray->rays, ray->rays->polygonOf[triangle], ray->vertex))
      args->valid[k] = 0;
  }
}

struct DeviceRelease {
  void operator()(RTCDevice device) const { rtcReleaseDevice(device); }
};
struct SceneRelease {
  void operator()(RTCScene scene) const { rtcReleaseScene(scene); }
};
using Device = std::unique_ptr<RTCDeviceTy, DeviceRelease>;
using Scene = std::unique_ptr<RTCSceneTy, SceneRelease>;

std::string errorText(RTCError error) {
  switch (error) {
    case RTC_ERROR_OUT_OF_MEMORY:
      return "out of memory";
    case RTC_ERROR_UNSUPPORTED_CPU:
      return "this processor is not supported";
    default:
      return "error code " + std::to_string(static_cast<int>(error));
  }
}

// Embree's index of the triangles, with the own-polygon filter; null after setting `problem`.
Scene makeScene(RTCDevice device, const RayMesh& rays, std::string& problem) {
  Scene scene(rtcNewScene(device));
  // Robust traversal: no shortcut that may let a ray slip between two triangles sharing an edge.
  if (scene) rtcSetSceneFlags(scene.get(), RTC_SCENE_FLAG_ROBUST);
  if (scene && !rays.triangles.empty()) {
    RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
    rtcSetSharedGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                               rays.points.data(), 0, 3 * sizeof(float), rays.points.size() / 3);
    rtcSetSharedGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                               rays.triangles.data(), 0, 3 * sizeof(unsigned),
                               rays.triangles.size() / 3);
    rtcSetGeometryOccludedFilterFunction(geometry, skipOwnPolygons);
    rtcCommitGeometry(geometry);
    rtcAttachGeometry(scene.get(), geometry);
    rtcReleaseGeometry(geometry);
  }
  if (scene) rtcCommitScene(scene.get());
  const RTCError error = rtcGetDeviceError(device);
  if (!scene || error != RTC_ERROR_NONE) {
    problem = "Embree cannot index the mesh's polygons: " + errorText(error);
    return nullptr;
  }
  return scene;
}

// True when nothing but the vertex's own polygons lies on the ray from `origin` to the vertex,
// up to kRayEndTolerance of its length before it.
bool seesVertex(RTCScene scene, const float origin[3], VertexRay& query) {
  const float* vertex = &query.rays->points[static_cast<size_t>(3 * query.vertex)];
  RTCRay ray;
  ray.org_x = origin[0];
  ray.org_y = origin[1];
  ray.org_z = origin[2];
  ray.dir_x = vertex[0] - origin[0];
  ray.dir_y = vertex[1] - origin[1];
  ray.dir_z = vertex[2] - origin[2];
  if (ray.dir_x == 0.0f && ray.dir_y == 0.0f && ray.dir_z == 0.0f) return true;
  ray.tnear = 0.0f;
  ray.tfar = 1.0f - kRayEndTolerance;
  ray.time = 0.0f;
  ray.mask = ~0u;
  ray.id = 0;
  ray.flags = 0;
  rtcOccluded1(scene, &query.context, &ray);
  return ray.tfar >= 0.0f;  // Embree sets it to -inf when the ray is blocked
}

// Runs work(begin, end) over blocks of [0, n) on `threads` threads (fewer when the system
// refuses more), the calling thread among them.
void forBlocks(vtkIdType n, int threads, const std::function<void(vtkIdType, vtkIdType)>& work) {
  constexpr vtkIdType kBlock = 1024;  // small enough to even out slow and fast regions
  std::atomic<vtkIdType> next{0};
  const auto worker = [&] {
    for (vtkIdType begin = next.fetch_add(kBlock); begin < n; begin = next.fetch_add(kBlock))
      work(begin, std::min(n, begin + kBlock));
  };
  std::vector<std::thread> pool;
  try {
    for (int t = 1; t < threads; ++t) pool.emplace_back(worker);
  } catch (const std::system_error&) {
    // The threads already started and this one share the work.
  }
  worker();
  for (std::thread& thread : pool) thread.join();
}

}  // namespace

std::string visibleVertices(vtkPolyData* mesh, const double viewpoint[3], int threads,
                            std::vector<std::uint8_t>& visible) {
  visible.clear();
  const vtkIdType n = mesh->GetNumberOfPoints();
  if (n >= std::numeric_limits<unsigned>::max())
    return "the mesh has more points than visibility handles (2^32 - 1)";
  RayMesh rays;
  if (!makeRayMesh(mesh, rays)) return "a polygon names a point the mesh does not have";
  if (rays.triangles.size() / 3 >= std::numeric_limits<unsigned>::max())
    return "the mesh has more triangles than visibility handles (2^32 - 1)";
  const std::string config = "threads=" + std::to_string(std::max(1, threads));
  Device device(rtcNewDevice(config.c_str()));
  if (!device) return "Embree cannot start: " + errorText(rtcGetDeviceError(nullptr));
  std::string problem;
  const Scene scene = makeScene(device.get(), rays, problem);
  if (!scene) return problem;
  const float origin[3] = {static_cast<float>(viewpoint[0]), static_cast<float>(viewpoint[1]),
                           static_cast<float>(viewpoint[2])};
  std::vector<std::uint8_t> result(static_cast<size_t>(n));
  forBlocks(n, std::max(1, threads), [&](vtkIdType begin, vtkIdType end) {
    VertexRay query;
    rtcInitIntersectContext(&query.context);
    query.rays = &rays;
    for (query.vertex = begin; query.vertex < end; ++query.vertex)
      result[static_cast<size_t>(query.vertex)] = seesVertex(scene.get(), origin, query) ? 1 : 0;
  });
  visible.swap(result);
  return "";
}

}  // namespace Prepare
}  // namespace Ostrel
