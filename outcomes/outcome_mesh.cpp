#include "outcomes/outcome_mesh.h"

#include <vtkCellArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkUnsignedCharArray.h>

#include <cmath>
#include <cstdio>

#include "cli/version.h"
#include "core/io/read_support.h"
#include "testset/naming.h"

namespace Ostrel {
namespace Inspect {
namespace {

struct MeshBuilder {
  vtkNew<vtkPoints> points;
  vtkNew<vtkCellArray> polygons;
  vtkNew<vtkUnsignedCharArray> colours;

  MeshBuilder() {
    points->SetDataTypeToFloat();
    colours->SetName("RGB");
    colours->SetNumberOfComponents(3);
  }

  void addPoint(const double p[3], Colour colour) {
    points->InsertNextPoint(p);
    const unsigned char rgb[3] = {colour.r, colour.g, colour.b};
    colours->InsertNextTypedTuple(rgb);
  }

  // An octahedron around `centre`: its vertices +x, -x, +y, -y, +z, -z at `radius`, and a
  // triangle per octant, wound so that its normal points outwards.
  void addMarker(const float centre[3], double radius, Colour colour) {
    const vtkIdType first = points->GetNumberOfPoints();
    for (int axis = 0; axis < 3; ++axis) {
      for (const double sign : {1.0, -1.0}) {
        double p[3] = {centre[0], centre[1], centre[2]};
        p[axis] += sign * radius;
        addPoint(p, colour);
      }
    }
    for (int octant = 0; octant < kMarkerTriangles; ++octant) {
      const int sx = octant & 1, sy = (octant >> 1) & 1, sz = (octant >> 2) & 1;
      vtkIdType ids[3] = {first + sx, first + 2 + sy, first + 4 + sz};
      if ((sx + sy + sz) % 2 == 1) std::swap(ids[1], ids[2]);  // an odd number of minus signs
      polygons->InsertNextCell(3, ids);
    }
  }
};

bool isFinite(const float* p) {
  return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

// The model's markers of one outcome, in keypoint order; returns how many.
int addModelMarkers(MeshBuilder& mesh, const InspectedModel& model, KeypointOutcome outcome,
                    double radius, Colour colour) {
  int added = 0;
  for (std::size_t k = 0; k < model.outcomes.size(); ++k) {
    const float* p = &model.mappedKeypoints[3 * k];
    if (model.outcomes[k] != outcome || !isFinite(p)) continue;
    mesh.addMarker(p, radius, colour);
    ++added;
  }
  return added;
}

std::string formatted(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

vtkSmartPointer<vtkPolyData> outcomeMesh(const Inspection& inspection, const InspectedModel& model,
                                         MarkerCounts& counts) {
  MeshBuilder mesh;
  vtkPolyData* scene = inspection.scene;
  for (vtkIdType i = 0; i < scene->GetNumberOfPoints(); ++i)
    mesh.addPoint(scene->GetPoint(i), kSceneColour);
  mesh.polygons->DeepCopy(scene->GetPolys());

  const double mr = inspection.meanResolution;
  counts = MarkerCounts{};
  for (std::size_t k = 0; k + 2 < inspection.sceneKeypoints.size(); k += 3) {
    mesh.addMarker(&inspection.sceneKeypoints[k], kSceneMarkerRadius * mr, kSceneKeypointColour);
    ++counts.scene;
  }
  const double radius = kModelMarkerRadius * mr;
  counts.repeatable =
      addModelMarkers(mesh, model, KeypointOutcome::repeatable, radius, kRepeatableColour);
  counts.nonOccluded =
      addModelMarkers(mesh, model, KeypointOutcome::nonOccluded, radius, kNonOccludedColour);
  counts.occluded =
      addModelMarkers(mesh, model, KeypointOutcome::occluded, radius, kOccludedColour);

  auto result = vtkSmartPointer<vtkPolyData>::New();
  result->SetPoints(mesh.points);
  result->SetPolys(mesh.polygons);
  result->GetPointData()->AddArray(mesh.colours);
  return result;
}

std::vector<std::string> outcomeComments(const InspectRequest& request,
                                         const Inspection& inspection, const InspectedModel& model,
                                         const MarkerCounts& counts, const double* view) {
  const auto number = [](long long n) { return std::to_string(n); };
  std::vector<std::string> lines = {
      "ardentis-inspect " + std::string(Cli::version()),
      "detector " + request.detectorID,
      "model " + model.name,
      "scene " + inspection.sceneName,
      "noise " + TestSet::noiseLevelName(request.noise),
      "threshold " + formatted("%.9g", request.threshold),
      "resolution " + formatted("%.9g", inspection.meanResolution),
      "model-keypoints " + number(static_cast<long long>(model.outcomes.size())),
      "non-occluded " + number(model.nonOccluded),
      "repeatable " + number(model.repeatable),
      "scene-keypoints " + number(static_cast<long long>(inspection.sceneKeypoints.size() / 3)),
      "scene-vertices " + number(inspection.scene->GetNumberOfPoints()),
      "scene-faces " + number(inspection.scene->GetPolys()->GetNumberOfCells()),
      "marker-vertices " + number(kMarkerVertices),
      "markers scene " + number(counts.scene) + " repeatable " + number(counts.repeatable) +
          " non-occluded " + number(counts.nonOccluded) + " occluded " + number(counts.occluded),
  };
  if (request.radius > 0) lines.push_back("radius " + number(request.radius));
  std::string bounds = "model-bounds";
  for (const double b : model.bounds) bounds += formatted(" %.9g", b);
  lines.push_back(bounds);
  if (view != nullptr) {
    lines.push_back("view" + formatted(" %.9g", view[0]) + formatted(" %.9g", view[1]) +
                    formatted(" %.9g", view[2]));
  }
  // A line end in a name would end the comment and break the header.
  for (std::string& line : lines) line = Core::Impl::PrintableText(line);
  return lines;
}

}  // namespace Inspect
}  // namespace Ostrel
