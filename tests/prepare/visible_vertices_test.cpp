// Visibility from a viewpoint: Embree's road against VTK's cell locator on generated scenes, every
// vertex where they differ checked by a double-precision brute force to be a grazing ray within
// the tolerance; the same answer on any number of threads; hand-made cases of the rule's edges.

#include "prepare/visible_vertices.h"

#include <gtest/gtest.h>
#include <vtkCellArray.h>
#include <vtkCubeSource.h>
#include <vtkIdList.h>
#include <vtkPoints.h>
#include <vtkSphereSource.h>
#include <vtkTessellatedBoxSource.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

#include "core/clean_poly_data.h"
#include "prepare/scene_composition.h"
#include "prepare/visible_surface.h"

using Mesh = vtkSmartPointer<vtkPolyData>;
using Flags = std::vector<std::uint8_t>;
using Vec = std::array<double, 3>;
using Ostrel::Prepare::kRayEndTolerance;
using Ostrel::Prepare::PlacedModel;

namespace {

const double kPi = 3.14159265358979323846;

Mesh FromParts(const std::vector<Vec>& points, const std::vector<std::vector<vtkIdType>>& polys) {
  auto xyz = vtkSmartPointer<vtkPoints>::New();
  xyz->SetDataTypeToFloat();
  for (const Vec& p : points) xyz->InsertNextPoint(p.data());
  auto cells = vtkSmartPointer<vtkCellArray>::New();
  for (const auto& poly : polys)
    cells->InsertNextCell(static_cast<vtkIdType>(poly.size()), poly.data());
  auto mesh = Mesh::New();
  mesh->SetPoints(xyz);
  mesh->SetPolys(cells);
  return mesh;
}

Mesh Cleaned(vtkPolyDataAlgorithm* source) {
  source->Update();
  Mesh mesh = source->GetOutput();
  Ostrel::Core::Impl::CleanPolyData(mesh, true, 0.0, true);
  return mesh;
}

Mesh Sphere(int resolution, double radius) {
  auto source = vtkSmartPointer<vtkSphereSource>::New();
  source->SetThetaResolution(resolution);
  source->SetPhiResolution(resolution);
  source->SetRadius(radius);
  return Cleaned(source);
}

// Quads, `level` per side.
Mesh Box(int level, double size) {
  auto source = vtkSmartPointer<vtkTessellatedBoxSource>::New();
  source->SetBounds(-size / 2, size / 2, -size / 2, size / 2, -size / 4, size / 4);
  source->SetLevel(level);
  source->SetQuads(1);
  return Cleaned(source);
}

// VTK's cube keeps a copy of each corner per face: faces touch without sharing points.
Mesh Cube(double size) {
  auto source = vtkSmartPointer<vtkCubeSource>::New();
  source->SetXLength(size);
  source->SetYLength(size);
  source->SetZLength(size);
  source->Update();
  return source->GetOutput();
}

Mesh Placed(std::vector<PlacedModel> models, const std::vector<Vec>& at) {
  for (size_t m = 0; m < models.size(); ++m) {
    for (int k = 0; k < 3; ++k) models[m].translation[k] = static_cast<float>(at[m][k]);
  }
  return Ostrel::Prepare::composeScene(models);
}

// Spheres, boxes and cubes one behind the other along z and x.
Mesh Occluders() {
  return Placed({{"a", Sphere(80, 1.0)},
                 {"b", Sphere(40, 0.6)},
                 {"c", Box(24, 1.5)},
                 {"d", Cube(0.8)},
                 {"e", Sphere(60, 1.2)},
                 {"f", Box(12, 3.0)}},
                {{0, 0, 0},
                 {0.5, 0.3, 2.5},
                 {-1.2, 0.2, -2.0},
                 {1.6, -0.4, 1.2},
                 {2.0, 0.5, -2.5},
                 {0, -1.8, 0}});
}

// A range scan's surface: a rough, wavy height field on a jittered grid with random diagonals,
// holes, seams whose vertices are stored twice, and degenerate triangles.
Mesh ScanLike(int n) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> jitter(-0.35, 0.35), unit(0.0, 1.0);
  std::normal_distribution<double> noise(0.0, 0.08);
  std::vector<Vec> points;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      const double x = i + jitter(random), y = j + jitter(random);
      const double ridge = 25 * std::exp(-std::pow((x - 0.6 * n) / (0.05 * n), 2));
      const double z = 6 * std::sin(x / 7) * std::cos(y / 11) + ridge + noise(random);
      points.push_back({x, y, z});
    }
  }
  const auto id = [n](int i, int j) { return static_cast<vtkIdType>(i * n + j); };
  std::vector<std::vector<vtkIdType>> polys;
  for (int i = 0; i + 1 < n; ++i) {
    for (int j = 0; j + 1 < n; ++j) {
      const double hx = i - 0.3 * n, hy = j - 0.5 * n, gx = i - 0.8 * n, gy = j - 0.2 * n;
      if (hx * hx + hy * hy < 0.01 * n * n || gx * gx + gy * gy < 0.004 * n * n) continue;
      vtkIdType a = id(i, j), b = id(i + 1, j), c = id(i + 1, j + 1), d = id(i, j + 1);
      if (j == n / 3) {  // a seam: this row of cells uses copies of its lower vertices
        const Vec copies[2] = {points[a], points[b]};
        points.insert(points.end(), copies, copies + 2);
        a = static_cast<vtkIdType>(points.size() - 2);
        b = static_cast<vtkIdType>(points.size() - 1);
      }
      if (unit(random) < 0.5) {
        polys.push_back({a, b, c});
        polys.push_back({a, c, d});
      } else {
        polys.push_back({a, b, d});
        polys.push_back({b, c, d});
      }
      if ((i * 7 + j) % 97 == 0) polys.push_back({a, a, b});
    }
  }
  return FromParts(points, polys);
}

Vec PointOf(vtkPolyData* mesh, vtkIdType i) {
  Vec p;
  mesh->GetPoint(i, p.data());
  return p;
}

Vec Minus(const Vec& a, const Vec& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
double Dot(const Vec& a, const Vec& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
Vec Cross(const Vec& a, const Vec& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

struct Triangle {
  Vec a, b, c;
  std::vector<vtkIdType> polygon;  // the point ids of the polygon it comes from
};

// Fan triangles of every polygon: the generated scenes' polygons are convex.
std::vector<Triangle> FanTriangles(vtkPolyData* mesh) {
  std::vector<Triangle> all;
  auto ids = vtkSmartPointer<vtkIdList>::New();
  for (mesh->GetPolys()->InitTraversal(); mesh->GetPolys()->GetNextCell(ids);) {
    std::vector<vtkIdType> polygon(ids->begin(), ids->end());
    for (size_t k = 1; k + 1 < polygon.size(); ++k) {
      all.push_back({PointOf(mesh, polygon[0]), PointOf(mesh, polygon[k]),
                     PointOf(mesh, polygon[k + 1]), polygon});
    }
  }
  return all;
}

// The rule decided in double precision by trying every triangle, with its margin: how far the
// ray would have to move for the answer to change (the hit's distance to the triangle's edges
// across the ray, or to the ray's end along it), and the angle between the ray and the
// triangle that decides.
struct Verdict {
  bool visible = true;
  double slack = std::numeric_limits<double>::infinity();  // mesh units
  double degrees = 90.0;
};

Verdict BruteForce(const std::vector<Triangle>& triangles, vtkIdType vertex, const Vec& from,
                   const Vec& to) {
  const Vec d = Minus(to, from);
  const double length = std::sqrt(Dot(d, d)), end = 1.0 - kRayEndTolerance;
  bool blocked = false;
  Verdict hidden{false, 0.0, 90.0}, seen;
  for (const Triangle& t : triangles) {
    if (std::count(t.polygon.begin(), t.polygon.end(), vertex) != 0) continue;
    Vec n = Cross(Minus(t.b, t.a), Minus(t.c, t.a));
    const double area = std::sqrt(Dot(n, n));
    if (area == 0.0) continue;
    for (double& c : n) c /= area;
    const double along = Dot(n, d), sine = std::fabs(along) / length;
    const double degrees = std::asin(std::min(1.0, sine)) * 180 / kPi;
    if (along == 0.0) {  // parallel: it takes moving the ray into the plane
      const double cost = std::fabs(Dot(n, Minus(t.a, from)));
      if (cost < seen.slack) seen = {true, cost, 0.0};
      continue;
    }
    const double s = Dot(n, Minus(t.a, from)) / along;
    const Vec hit = {from[0] + s * d[0], from[1] + s * d[1], from[2] + s * d[2]};
    double inside = std::numeric_limits<double>::infinity();  // distance to the nearest edge
    for (const auto& [p, q] : {std::pair(t.a, t.b), std::pair(t.b, t.c), std::pair(t.c, t.a)}) {
      const Vec e = Minus(q, p);
      inside = std::min(inside, Dot(Cross(e, Minus(hit, p)), n) / std::sqrt(Dot(e, e)));
    }
    const double edgeSlack = std::fabs(inside) * sine;
    const double endSlack = std::min(std::fabs(s - end), std::fabs(s)) * length;
    const bool inRange = s >= 0.0 && s < end;
    if (inside >= 0.0 && inRange) {  // it blocks; all that block must move for the answer to
      blocked = true;
      const double cost = std::min(edgeSlack, endSlack);
      if (cost >= hidden.slack) hidden = {false, cost, degrees};
    } else {  // one that does not block is enough to change the answer
      const double cost = std::max(inside >= 0.0 ? 0.0 : edgeSlack, inRange ? 0.0 : endSlack);
      if (cost < seen.slack) seen = {true, cost, degrees};
    }
  }
  return blocked ? hidden : seen;
}

double Distance(const Vec& a, const Vec& b) {
  const Vec d = Minus(a, b);
  return std::sqrt(Dot(d, d));
}

Flags ByEmbree(vtkPolyData* mesh, const Vec& viewpoint, int threads) {
  Flags visible;
  EXPECT_EQ(Ostrel::Prepare::visibleVertices(mesh, viewpoint.data(), threads, visible), "");
  return visible;
}

// The roads differ on at most 0.1% of the vertices, each a ray within the tolerance of a
// change of answer; the brute force agrees with Embree on sampled vertices whose answer is clear.
void ExpectRoadsAgree(vtkPolyData* mesh, const Vec& viewpoint, const std::string& name) {
  const Flags embree = ByEmbree(mesh, viewpoint, 2);
  const Flags vtk = Ostrel::Prepare::visibleVerticesByCellLocator(mesh, viewpoint.data());
  ASSERT_EQ(embree.size(), vtk.size());
  const std::vector<Triangle> triangles = FanTriangles(mesh);
  const vtkIdType n = mesh->GetNumberOfPoints();
  int differing = 0;
  double worstSlack = 0.0, leastDegrees = 90.0;
  for (vtkIdType i = 0; i < n; ++i) {
    if (embree[i] == vtk[i]) continue;
    ++differing;
    const Vec p = PointOf(mesh, i);
    const Verdict verdict = BruteForce(triangles, i, viewpoint, p);
    const double slack = verdict.slack / Distance(p, viewpoint);
    EXPECT_LE(slack, kRayEndTolerance) << name << " vertex " << i << " at " << verdict.degrees
                                       << " degrees, Embree " << int(embree[i]);
    worstSlack = std::max(worstSlack, slack);
    leastDegrees = std::min(leastDegrees, verdict.degrees);
  }
  EXPECT_LE(differing, 0.001 * n) << name;
  const long seen = std::count(embree.begin(), embree.end(), 1);
  EXPECT_TRUE(seen > 0.1 * n && seen < 0.9 * n) << name << ": " << seen << " of " << n << " seen";
  for (vtkIdType i = 0; i < n; i += n / 150 + 1) {
    const Vec p = PointOf(mesh, i);
    const Verdict verdict = BruteForce(triangles, i, viewpoint, p);
    if (verdict.slack > kRayEndTolerance * Distance(p, viewpoint)) {
      EXPECT_EQ(verdict.visible, embree[i] != 0) << name << " vertex " << i;
    }
  }
  std::printf("%s: %lld vertices, %ld seen, %d differ", name.c_str(), static_cast<long long>(n),
              seen, differing);
  if (differing > 0)
    std::printf(" (largest margin %.2g of the ray, smallest angle %.2g degrees)", worstSlack,
                leastDegrees);
  std::printf("\n");
}

}  // namespace

TEST(VisibleVertices, RoadsAgreeOnOccludingSpheresAndBoxes) {
  const Mesh scene = Occluders();
  ExpectRoadsAgree(scene, {3, 2, 12}, "occluders, outside");
  ExpectRoadsAgree(scene, {-1, 1.2, 1.0}, "occluders, inside the bounds");
}

TEST(VisibleVertices, RoadsAgreeOnAScanLikeSurface) {
  const Mesh scene = ScanLike(150);
  ExpectRoadsAgree(scene, {-40, 75, 25}, "scan, outside");
  ExpectRoadsAgree(scene, {45, 60, 3}, "scan, inside the bounds");
}

TEST(VisibleVertices, ThreadCountDoesNotChangeTheAnswer) {
  for (const auto& [scene, viewpoint] :
       {std::pair(ScanLike(120), Vec{45, 60, 3}), std::pair(Occluders(), Vec{3, 2, 12})}) {
    const Flags one = ByEmbree(scene, viewpoint, 1);
    for (const int threads : {2, 3, 8}) EXPECT_EQ(ByEmbree(scene, viewpoint, threads), one);
    Mesh single, several;
    ASSERT_EQ(Ostrel::Prepare::visibleSurface(scene, viewpoint.data(), 1, single), "");
    ASSERT_EQ(Ostrel::Prepare::visibleSurface(scene, viewpoint.data(), 4, several), "");
    ASSERT_EQ(single->GetNumberOfPoints(), several->GetNumberOfPoints());
    for (vtkIdType i = 0; i < single->GetNumberOfPoints(); ++i)
      ASSERT_EQ(PointOf(single, i), PointOf(several, i));
    auto a = vtkSmartPointer<vtkIdList>::New(), b = vtkSmartPointer<vtkIdList>::New();
    ASSERT_EQ(single->GetNumberOfPolys(), several->GetNumberOfPolys());
    for (vtkIdType c = 0; c < single->GetNumberOfPolys(); ++c) {
      single->GetPolys()->GetCellAtId(c, a);
      several->GetPolys()->GetCellAtId(c, b);
      ASSERT_TRUE(std::equal(a->begin(), a->end(), b->begin(), b->end())) << c;
    }
  }
}

// Vertex 0 at the origin, on its own triangle facing the viewpoint (0, 0, 10), and what lies
// between: the rule's tolerance, touching and degenerate polygons, a concave polygon.
TEST(VisibleVertices, EdgesOfTheRule) {
  const double tolerance = kRayEndTolerance * 10;  // in mesh units, before the vertex
  const std::vector<Vec> own = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  const auto square = [](double z) {
    return std::vector<Vec>{{-1, -1, z}, {1, -1, z}, {1, 1, z}, {-1, 1, z}};
  };
  // An L whose notch is the quadrant x > 0, y > 0 of [-1, 1]^2, shifted by (dx, dy); listed
  // from a corner that does not see the whole polygon, so a fan from it covers the notch.
  const auto letterL = [](double dx, double dy) {
    std::vector<Vec> l = {{1, 0, 5}, {0, 0, 5}, {0, 1, 5}, {-1, 1, 5}, {-1, -1, 5}, {1, -1, 5}};
    for (Vec& p : l) p = {p[0] + dx, p[1] + dy, 5};
    return l;
  };
  using Polys = std::vector<std::vector<vtkIdType>>;
  const struct {
    const char* name;
    std::vector<Vec> extra;  // points 3, 4, ...
    Polys polys;             // besides the own triangle
    Vec viewpoint;
    bool visible;
    bool referenceAgrees;  // VTK's road, whose tolerance is 1e-10, gives the same answer
  } cases[] = {
      // clang-format off
      {"nothing between", {}, {}, {0, 0, 10}, true, true},
      {"a quad halfway", square(5), {{3, 4, 5, 6}}, {0, 0, 10}, false, true},
      {"a quad half the tolerance before", square(tolerance / 2), {{3, 4, 5, 6}}, {0, 0, 10},
       true, false},
      // 1e-4 of the ray: the tolerance must stay well below this.
      {"a quad 1e-4 of the ray before", square(1e-3), {{3, 4, 5, 6}}, {0, 0, 10}, false, true},
      {"the edge two triangles share", square(5), {{3, 4, 5}, {3, 5, 6}}, {0, 0, 10}, false,
       true},
      {"the corner four quads share", {{-1, -1, 5}, {0, -1, 5}, {1, -1, 5}, {-1, 0, 5},
       {0, 0, 5}, {1, 0, 5}, {-1, 1, 5}, {0, 1, 5}, {1, 1, 5}},
       {{3, 4, 7, 6}, {4, 5, 8, 7}, {6, 7, 10, 9}, {7, 8, 11, 10}}, {0, 0, 10}, false, true},
      {"a copy of the vertex", {{0, 0, 0}, {-1, 0, 0}, {0, -1, 0}}, {{3, 4, 5}}, {0, 0, 10},
       true, true},
      {"the viewpoint on the vertex", square(5), {{3, 4, 5, 6}}, {0, 0, 0}, true, true},
      {"a concave polygon's notch", letterL(-0.3, -0.3), {{3, 4, 5, 6, 7, 8}}, {0, 0, 10},
       true, true},
      {"a concave polygon's body", letterL(0.5, 0.5), {{3, 4, 5, 6, 7, 8}}, {0, 0, 10},
       false, true},
      // VTK's locator hits a triangle of no area that the segment crosses.
      {"a sliver across the ray", {{-1, 0, 5}, {1, 0, 5}, {0, 0, 5}}, {{3, 4, 5}}, {0, 0, 10},
       true, false},
      {"a point twice, along the ray", {{0, 0, 5}, {0, 0, 6}}, {{3, 3, 4}}, {0, 0, 10}, true, true},
      {"a point thrice, on the ray", {{0, 0, 5}}, {{3, 3, 3}}, {0, 0, 10}, true, true},
      // clang-format on
  };
  for (const auto& c : cases) {
    std::vector<Vec> points = own;
    points.insert(points.end(), c.extra.begin(), c.extra.end());
    Polys polys = {{0, 1, 2}};
    polys.insert(polys.end(), c.polys.begin(), c.polys.end());
    const Mesh mesh = FromParts(points, polys);
    EXPECT_EQ(ByEmbree(mesh, c.viewpoint, 2)[0], c.visible ? 1 : 0) << c.name;
    const bool reference =
        Ostrel::Prepare::visibleVerticesByCellLocator(mesh, c.viewpoint.data())[0] != 0;
    EXPECT_EQ(reference == c.visible, c.referenceAgrees) << c.name;
  }
}

TEST(VisibleVertices, MeshesWithoutPolygonsOrWithBadPointIds) {
  const double viewpoint[3] = {0, 0, 10};
  const Flags all = ByEmbree(FromParts({{0, 0, 0}, {0, 0, 5}}, {}), {0, 0, 10}, 3);
  EXPECT_EQ(all, (Flags{1, 1}));
  EXPECT_TRUE(ByEmbree(FromParts({}, {}), {0, 0, 10}, 3).empty());
  Mesh surface;
  ASSERT_EQ(Ostrel::Prepare::visibleSurface(FromParts({}, {}), viewpoint, 2, surface), "");
  EXPECT_EQ(surface->GetNumberOfPoints(), 0);
  Flags visible = {1};
  EXPECT_EQ(
      Ostrel::Prepare::visibleVertices(FromParts({{0, 0, 0}}, {{0, 1, 2}}), viewpoint, 2, visible),
      "a polygon names a point the mesh does not have");
  EXPECT_TRUE(visible.empty());
}
