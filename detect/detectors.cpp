// The PCL detectors. Every PCL template the tool instantiates lives in this file: they are slow
// to compile, and one translation unit compiles them once.

#include "detect/detectors.h"

#include <pcl/common/common.h>
#include <pcl/features/normal_3d_omp.h>
#include <pcl/filters/uniform_sampling.h>
#include <pcl/keypoints/harris_3d.h>
#include <pcl/keypoints/sift_keypoint.h>
#include <pcl/point_types.h>
#include <pcl/search/kdtree.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <climits>
#include <cmath>
#include <cstdint>

#include "detect/iss_keypoints.h"

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

// ISS through ISSKeypoints, which gives PCL's ISSKeypoint3D's keypoints in less time (the tests
// hold it to PCL's class). Score: the third eigenvalue, the saliency ISS ranks points by.
bool detectISS(const Cloud::Ptr& cloud, const DetectorSettings& settings, double mr,
               std::vector<Feature3D>& keypoints, std::string&) {
  std::vector<float> xyz;
  xyz.reserve(3 * cloud->size());
  for (const pcl::PointXYZ& p : *cloud) xyz.insert(xyz.end(), {p.x, p.y, p.z});
  const DetectorSetting& iss = settings.detector;
  const ISSParameters parameters = {settings.radius * mr,      iss.real("nonMaxRadius") * mr,
                                    iss.real("gamma21"),       iss.real("gamma32"),
                                    iss.whole("minNeighbors"), settings.threads};
  std::vector<int> indices;
  std::vector<double> saliency;
  ISSKeypoints(xyz, parameters, indices, saliency);
  for (const int index : indices) {
    keypoints.push_back(vertexKeypoint(*cloud, index, settings.radius * mr, saliency[index]));
  }
  return true;
}

pcl::HarrisKeypoint3D<pcl::PointXYZ, pcl::PointXYZI>::ResponseMethod harrisMethod(
    const std::string& name) {
  using Harris = pcl::HarrisKeypoint3D<pcl::PointXYZ, pcl::PointXYZI>;
  if (name == "noble") return Harris::NOBLE;
  if (name == "lowe") return Harris::LOWE;
  if (name == "tomasi") return Harris::TOMASI;
  if (name == "curvature") return Harris::CURVATURE;
  return Harris::HARRIS;
}

// Normals at `radius`, estimated in parallel: the same per-point computation Harris would run
// on one thread when given none.
pcl::PointCloud<pcl::Normal>::Ptr normalsOf(const Cloud::Ptr& cloud, double radius,
                                            unsigned threads) {
  pcl::NormalEstimationOMP<pcl::PointXYZ, pcl::Normal> estimation(threads);
  estimation.setInputCloud(cloud);
  estimation.setSearchMethod(
      pcl::search::KdTree<pcl::PointXYZ>::Ptr(new pcl::search::KdTree<pcl::PointXYZ>));
  estimation.setRadiusSearch(radius);
  pcl::PointCloud<pcl::Normal>::Ptr normals(new pcl::PointCloud<pcl::Normal>);
  estimation.compute(*normals);
  return normals;
}

bool detectHarris(const Cloud::Ptr& cloud, const DetectorSettings& settings, double mr,
                  std::vector<Feature3D>& keypoints, std::string&) {
  const double radius = settings.radius * mr;
  pcl::HarrisKeypoint3D<pcl::PointXYZ, pcl::PointXYZI> harris(
      harrisMethod(settings.detector.word("method")), static_cast<float>(radius),
      static_cast<float>(settings.detector.real("threshold")));
  harris.setSearchMethod(
      pcl::search::KdTree<pcl::PointXYZ>::Ptr(new pcl::search::KdTree<pcl::PointXYZ>));
  harris.setRadius(static_cast<float>(radius));
  harris.setNonMaxSupression(true);
  harris.setRefine(false);                      // keypoints stay vertices, so they have an index
  harris.setNumberOfThreads(settings.threads);  // PCL's default, 0, is not "all cores" here
  harris.setInputCloud(cloud);
  harris.setNormals(normalsOf(cloud, radius, settings.threads));
  pcl::PointCloud<pcl::PointXYZI> found;
  harris.compute(found);
  const pcl::Indices& indices = harris.getKeypointsIndices()->indices;
  for (std::size_t k = 0; k < found.size() && k < indices.size(); ++k) {
    keypoints.push_back(vertexKeypoint(*cloud, indices[k], radius, found[k].intensity));
  }
  return true;
}

// SIFT works on a scalar per point: PCL's field selector for PointNormal takes the curvature.
bool detectSIFT(const Cloud::Ptr& cloud, const DetectorSettings& settings, double mr,
                std::vector<Feature3D>& keypoints, std::string&) {
  const DetectorSetting& siftOptions = settings.detector;
  const pcl::PointCloud<pcl::Normal>::Ptr normals =
      normalsOf(cloud, siftOptions.real("normalRadius") * mr, settings.threads);
  pcl::PointCloud<pcl::PointNormal>::Ptr withCurvature(new pcl::PointCloud<pcl::PointNormal>);
  pcl::concatenateFields(*cloud, *normals, *withCurvature);

  pcl::SIFTKeypoint<pcl::PointNormal, pcl::PointWithScale> sift;
  sift.setSearchMethod(
      pcl::search::KdTree<pcl::PointNormal>::Ptr(new pcl::search::KdTree<pcl::PointNormal>));
  sift.setScales(static_cast<float>(siftOptions.real("minScale") * mr),
                 siftOptions.whole("octaves"), siftOptions.whole("scalesPerOctave"));
  sift.setMinimumContrast(static_cast<float>(siftOptions.real("minContrast")));
  sift.setInputCloud(withCurvature);
  pcl::PointCloud<pcl::PointWithScale> found;
  sift.compute(found);
  for (const pcl::PointWithScale& point : found) {
    Feature3D keypoint;  // SIFT's points are voxel centroids, not vertices: index -1, score 0
    keypoint.x = point.x;
    keypoint.y = point.y;
    keypoint.z = point.z;
    keypoint.scale = point.scale;
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

bool CanRun(const DetectorSpec& spec) {
  for (const Detector& detector : kDetectors) {
    if (spec.name == detector.name) return true;
  }
  return false;
}

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
  for (const Detector& detector : kDetectors) {
    if (settings.detector.spec != nullptr && settings.detector.spec->name == detector.name)
      return detector.run(cloud, settings, mr, keypoints, error);
  }
  error = "no detector to run";
  return false;
}

}  // namespace Detect
}  // namespace Ostrel
