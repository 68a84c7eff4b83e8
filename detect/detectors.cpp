// The detectors: ISS, Harris and SIFT through our own faster roads to PCL's results, uniform
// sampling through PCL's class, whose template is slow to compile and so lives here alone.

#include "detect/detectors.h"

#include <pcl/common/common.h>
#include <pcl/filters/uniform_sampling.h>
#include <pcl/point_types.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <climits>
#include <cmath>
#include <cstdint>

#include "detect/harris_keypoints.h"
#include "detect/iss_keypoints.h"
#include "detect/sift_keypoints.h"

namespace Ostrel {
namespace Detect {

namespace {

using LocalFeatures::Impl::Feature3D;
using Cloud = pcl::PointCloud<pcl::PointXYZ>;

Cloud::Ptr verticesOf(vtkPolyData* mesh) {
  Cloud::Ptr cloud(new Cloud);
  const vtkIdType count = mesh->GetNumberOfPoints();
  cloud->resize(static_cast<std::size_t>(count));
  for (vtkIdType i = 0; i < count; ++i) {
    double p[3];
    mesh->GetPoint(i, p);
    (*cloud)[i] =
        pcl::PointXYZ(static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2]));
  }
  return cloud;
}

Feature3D vertexKeypoint(const Cloud& cloud, int index, double scale, double score) {
  Feature3D keypoint;
  keypoint.x = cloud[index].x;
  keypoint.y = cloud[index].y;
  keypoint.z = cloud[index].z;
  keypoint.scale = static_cast<float>(scale);
  keypoint.index = index;
  keypoint.score = static_cast<float>(score);
  return keypoint;
}

std::vector<float> xyzOf(const Cloud& cloud) {
  std::vector<float> xyz;
  xyz.reserve(3 * cloud.size());
  for (const pcl::PointXYZ& p : cloud) xyz.insert(xyz.end(), {p.x, p.y, p.z});
  return xyz;
}

// ISS through ISSKeypoints, which gives PCL's ISSKeypoint3D's keypoints in less time (the tests
// hold it to PCL's class). Score: the third eigenvalue, the saliency ISS ranks points by.
bool detectISS(const Cloud::Ptr& cloud, const DetectorSettings& settings, double mr,
               std::vector<Feature3D>& keypoints, std::string&) {
  const DetectorSetting& iss = settings.detector;
  const ISSParameters parameters = {settings.radius * mr,      iss.real("nonMaxRadius") * mr,
                                    iss.real("gamma21"),       iss.real("gamma32"),
                                    iss.whole("minNeighbors"), settings.threads};
  std::vector<int> indices;
  std::vector<double> saliency;
  issKeypoints(xyzOf(*cloud), parameters, indices, saliency);
  for (const int index : indices) {
    keypoints.push_back(vertexKeypoint(*cloud, index, settings.radius * mr, saliency[index]));
  }
  return true;
}

HarrisMethod harrisMethod(const std::string& name) {
  if (name == "noble") return HarrisMethod::Noble;
  if (name == "lowe") return HarrisMethod::Lowe;
  if (name == "tomasi") return HarrisMethod::Tomasi;
  if (name == "curvature") return HarrisMethod::Curvature;
  return HarrisMethod::Harris;
}

// Harris through HarrisKeypoints, which gives PCL's HarrisKeypoint3D's keypoints and responses
// (normals at the same radius, non-maximum suppression, no refinement, so keypoints stay
// vertices) in less time. Score: the response.
bool detectHarris(const Cloud::Ptr& cloud, const DetectorSettings& settings, double mr,
                  std::vector<Feature3D>& keypoints, std::string&) {
  const double radius = settings.radius * mr;
  const HarrisParameters parameters = {radius, harrisMethod(settings.detector.word("method")),
                                       static_cast<float>(settings.detector.real("threshold")),
                                       settings.threads};
  std::vector<int> indices;
  std::vector<float> response;
  harrisKeypoints(xyzOf(*cloud), parameters, indices, response);
  for (const int index : indices) {
    keypoints.push_back(vertexKeypoint(*cloud, index, radius, response[index]));
  }
  return true;
}

// SIFT through SIFTKeypoints, which gives PCL's SIFTKeypoint's keypoints on the curvature of
// normals in less time. Its points are voxel centroids, not vertices: index -1. Score: the
// absolute difference of Gaussians at the keypoint, its contrast.
bool detectSIFT(const Cloud::Ptr& cloud, const DetectorSettings& settings, double mr,
                std::vector<Feature3D>& keypoints, std::string&) {
  const DetectorSetting& sift = settings.detector;
  const SIFTParameters parameters = {sift.real("normalRadius") * mr,
                                     static_cast<float>(sift.real("minScale") * mr),
                                     sift.whole("octaves"),
                                     sift.whole("scalesPerOctave"),
                                     static_cast<float>(sift.real("minContrast")),
                                     settings.threads};
  std::vector<SIFTKeypoint> found;
  siftKeypoints(xyzOf(*cloud), parameters, found);
  for (const SIFTKeypoint& point : found) {
    Feature3D keypoint;
    keypoint.x = point.x;
    keypoint.y = point.y;
    keypoint.z = point.z;
    keypoint.scale = point.scale;
    keypoint.score = point.contrast;
    keypoints.push_back(keypoint);
  }
  return true;
}

// PCL's uniform sampling numbers its cells with an int and does not check that they fit.
bool gridFits(const Cloud& cloud, double leaf) {
  pcl::PointXYZ low, high;
  pcl::getMinMax3D(cloud, low, high);
  double cells = 1.0;
  for (int axis = 0; axis < 3; ++axis) {
    cells *= std::floor((high.data[axis] - low.data[axis]) / leaf) + 2.0;
  }
  return cells < static_cast<double>(INT_MAX);
}

// A random score in [0, 1) for vertex `index` of a mesh of `count` vertices, the same for every
// run with `seed` (splitmix64, a counter-based generator: no order, no thread count matters), so
// that uniform sampling's budgeted subsets are random samples.
float randomScore(std::uint64_t seed, std::size_t count, std::size_t index) {
  const auto mix = [](std::uint64_t z) {
    z += 0x9e3779b97f4a7c15ull;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  };
  const std::uint64_t bits = mix(mix(mix(seed) ^ count) ^ index);
  return static_cast<float>(bits >> 40) * 0x1p-24f;  // 24 bits: exact in a float
}

bool detectUniform(const Cloud::Ptr& cloud, const DetectorSettings& settings, double mr,
                   std::vector<Feature3D>& keypoints, std::string& error) {
  const double leaf = settings.radius * mr;
  if (!gridFits(*cloud, leaf)) {
    error = "the uniform grid of this mesh would have too many cells; use a larger radius";
    return false;
  }
  pcl::UniformSampling<pcl::PointXYZ> sampling(true);  // true: keep the removed indices
  sampling.setRadiusSearch(leaf);
  sampling.setInputCloud(cloud);
  Cloud kept;
  sampling.filter(kept);
  // The vertices kept are those not removed; their positions are read from the input.
  std::vector<bool> removed(cloud->size(), false);
  for (const int index : *sampling.getRemovedIndices()) removed[index] = true;
  for (std::size_t i = 0; i < cloud->size(); ++i) {
    if (removed[i]) continue;
    const float score =
        randomScore(std::uint64_t(settings.detector.whole("seed")), cloud->size(), i);
    keypoints.push_back(vertexKeypoint(*cloud, static_cast<int>(i), leaf, score));
  }
  return true;
}

// The function that runs each detector of detectorSpecs().
using DetectFunction = bool (*)(const Cloud::Ptr&, const DetectorSettings&, double,
                                std::vector<Feature3D>&, std::string&);
struct Detector {
  const char* name;
  DetectFunction run;
};
const Detector kDetectors[] = {{"iss", detectISS},
                               {"harris3d", detectHarris},
                               {"sift3d", detectSIFT},
                               {"uniform", detectUniform}};

}  // namespace

bool canRun(const DetectorSpec& spec) {
  for (const Detector& detector : kDetectors) {
    if (spec.name == detector.name) return true;
  }
  return false;
}

bool detectKeypoints(vtkPolyData* mesh, const DetectorSettings& settings, double mr,
                     std::vector<Feature3D>& keypoints, std::string& error) {
  keypoints.clear();
  if (mesh == nullptr || mesh->GetNumberOfPoints() == 0) {
    error = "the mesh has no vertices";
    return false;
  }
  if (!(mr > 0.0) || !std::isfinite(mr)) {
    error = "the mesh resolution is not a positive number";
    return false;
  }
  const Cloud::Ptr cloud = verticesOf(mesh);
  for (const Detector& detector : kDetectors) {
    if (settings.detector.spec != nullptr && settings.detector.spec->name == detector.name)
      return detector.run(cloud, settings, mr, keypoints, error);
  }
  error = "no detector to run";
  return false;
}

}  // namespace Detect
}  // namespace Ostrel
