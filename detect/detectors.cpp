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
               std::vector<Feature3D>& keypoints) {
  const ISSParameters parameters = {settings.radius * mr,  settings.nonMaxRadius * mr,
                                    settings.gamma21,      settings.gamma32,
                                    settings.minNeighbors, settings.threads};
  std::vector<int> indices;
  std::vector<double> saliency;
  ISSKeypoints(xyzOf(*cloud), parameters, indices, saliency);
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
                  std::vector<Feature3D>& keypoints) {
  const double radius = settings.radius * mr;
  const HarrisParameters parameters = {radius, harrisMethod(settings.method),
                                       static_cast<float>(settings.threshold), settings.threads};
  std::vector<int> indices;
  std::vector<float> response;
  HarrisKeypoints(xyzOf(*cloud), parameters, indices, response);
  for (const int index : indices) {
    keypoints.push_back(vertexKeypoint(*cloud, index, radius, response[index]));
  }
  return true;
}

// SIFT through SIFTKeypoints, which gives PCL's SIFTKeypoint's keypoints on the curvature of
// normals in less time. Its points are voxel centroids, not vertices: index -1. Score: the
// absolute difference of Gaussians at the keypoint, its contrast.
bool detectSIFT(const Cloud::Ptr& cloud, const DetectorSettings& settings, double mr,
                std::vector<Feature3D>& keypoints) {
  const SIFTParameters parameters = {
      settings.normalRadius * mr, static_cast<float>(settings.minScale * mr), settings.octaves,
      settings.scalesPerOctave,   static_cast<float>(settings.minContrast),   settings.threads};
  std::vector<SIFTKeypoint> found;
  SIFTKeypoints(xyzOf(*cloud), parameters, found);
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
    if (!removed[i]) keypoints.push_back(vertexKeypoint(*cloud, static_cast<int>(i), leaf, 0.0));
  }
  return true;
}

}  // namespace

bool DetectKeypoints(vtkPolyData* mesh, const DetectorSettings& settings, double mr,
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
  if (settings.detector == "iss") return detectISS(cloud, settings, mr, keypoints);
  if (settings.detector == "harris3d") return detectHarris(cloud, settings, mr, keypoints);
  if (settings.detector == "sift3d") return detectSIFT(cloud, settings, mr, keypoints);
  if (settings.detector == "uniform") return detectUniform(cloud, settings, mr, keypoints, error);
  error = "unknown detector " + settings.detector;
  return false;
}

}  // namespace Detect
}  // namespace Ostrel
