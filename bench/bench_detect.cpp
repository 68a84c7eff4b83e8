// Detection times of ardentis-detect's detectors on the 1M-vertex workload scene; ISS beside
// PCL's ISSKeypoint3D and Open3D's ISS, Harris and SIFT beside PCL's classes as ardentis-detect
// ran them before its own roads, each checked to give the same keypoints.
// Usage: bench_detect <cache directory> <python with open3d> <open3d_iss.py> [runs [iss|ours]]
// ("iss": ISS alone; "ours": ardentis-detect's detectors without the others). Exit status 3
// when a reference gives other keypoints than ours.

#include <pcl/common/io.h>
#include <pcl/features/normal_3d_omp.h>
#include <pcl/keypoints/harris_3d.h>
#include <pcl/keypoints/iss_3d.h>
#include <pcl/keypoints/sift_keypoint.h>
#include <pcl/search/kdtree.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "bench/workload.h"
#include "core/clean_poly_data.h"
#include "core/io/load_poly_data.h"
#include "core/mesh_resolution.h"
#include "detect/detectors.h"
#include "detect/keypoint_order.h"

namespace {

using Mesh = vtkSmartPointer<vtkPolyData>;
using Ostrel::Detect::DetectorSettings;
using Ostrel::LocalFeatures::Impl::Feature3D;
using Cloud = pcl::PointCloud<pcl::PointXYZ>;
// What two detectors must agree on: position, scale and vertex index of every keypoint.
using Keypoints = std::vector<std::tuple<int, float, float, float, float>>;

const ardentis_bench::WorkloadShape k1M = {5, 480, 460, 3000};  // bench_run's "1M"

Mesh loadCleaned(const std::string& path) {
  Mesh mesh = Mesh::Take(Ostrel::Core::Impl::LoadPolyData(path.c_str()));
  if (mesh) Ostrel::Core::Impl::CleanPolyData(mesh, true, 0.0, true);
  return mesh;
}

// As ardentis-detect measures it: the mean resolution of the cleaned models.
double meanModelResolution(const std::string& data) {
  double sum = 0.0;
  for (int i = 0; i < k1M.models; ++i) {
    const Mesh model = loadCleaned(data + "/models/m" + std::to_string(i) + "_0.ply");
    sum += Ostrel::Core::Impl::compute_mesh_resolution(model);
  }
  return sum / k1M.models;
}

bool writePoints(vtkPolyData* mesh, const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out << "ply\nformat binary_little_endian 1.0\nelement vertex " << mesh->GetNumberOfPoints()
      << "\nproperty float x\nproperty float y\nproperty float z\nend_header\n";
  for (vtkIdType i = 0; i < mesh->GetNumberOfPoints(); ++i) {
    double p[3];
    mesh->GetPoint(i, p);
    const float f[3] = {float(p[0]), float(p[1]), float(p[2])};
    out.write(reinterpret_cast<const char*>(f), sizeof f);
  }
  return bool(out);
}

// Wall time, and processor time over all threads (the figure a machine shared with other work
// does not inflate).
struct Timing {
  double seconds;
  std::size_t keypoints;
  double cpuSeconds = 0.0;
};

struct Clock {
  std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
  std::clock_t cpu = std::clock();
  double seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
  }
  double cpuSeconds() const { return double(std::clock() - cpu) / CLOCKS_PER_SEC; }
};

Timing median(std::vector<Timing> timings) {
  std::sort(timings.begin(), timings.end(),
            [](const Timing& a, const Timing& b) { return a.seconds < b.seconds; });
  return timings[timings.size() / 2];
}

Keypoints keypointsOf(std::vector<Feature3D> found) {
  Ostrel::Detect::sortKeypoints(found);
  Keypoints keypoints;
  for (const Feature3D& k : found) keypoints.emplace_back(k.index, k.x, k.y, k.z, k.scale);
  return keypoints;
}

Timing timeDetector(vtkPolyData* scene, const DetectorSettings& settings, double mr, int runs,
                    Keypoints& keypoints) {
  std::vector<Timing> timings;
  std::vector<Feature3D> found;
  for (int r = 0; r < runs; ++r) {
    std::string error;
    const Clock clock;
    if (!Ostrel::Detect::detectKeypoints(scene, settings, mr, found, error)) {
      std::fprintf(stderr, "%s: %s\n", settings.detector.spec->name.c_str(), error.c_str());
    }
    timings.push_back({clock.seconds(), found.size(), clock.cpuSeconds()});
  }
  keypoints = keypointsOf(found);
  return median(timings);
}

Cloud::Ptr cloudOf(vtkPolyData* scene) {
  Cloud::Ptr cloud(new Cloud);
  for (vtkIdType i = 0; i < scene->GetNumberOfPoints(); ++i) {
    double p[3];
    scene->GetPoint(i, p);
    cloud->push_back(pcl::PointXYZ(float(p[0]), float(p[1]), float(p[2])));
  }
  return cloud;
}

// Times `detect` (which fills `found`) `runs` times; the keypoints of the last run.
template <typename Detect>
Timing timeReference(int runs, Keypoints& keypoints, Detect detect) {
  std::vector<Timing> timings;
  for (int r = 0; r < runs; ++r) {
    std::vector<Feature3D> found;
    const Clock clock;
    detect(found);
    timings.push_back({clock.seconds(), found.size(), clock.cpuSeconds()});
    keypoints = keypointsOf(found);
  }
  return median(timings);
}

// PCL's ISSKeypoint3D as ardentis-detect ran it before its fast path: the reference.
void pclISS(const Cloud::Ptr& cloud, const DetectorSettings& s, double mr,
            std::vector<Feature3D>& keypoints) {
  pcl::ISSKeypoint3D<pcl::PointXYZ, pcl::PointXYZ> iss;
  iss.setSearchMethod(
      pcl::search::KdTree<pcl::PointXYZ>::Ptr(new pcl::search::KdTree<pcl::PointXYZ>));
  iss.setSalientRadius(s.radius * mr);
  iss.setNonMaxRadius(s.detector.real("nonMaxRadius") * mr);
  iss.setThreshold21(s.detector.real("gamma21"));
  iss.setThreshold32(s.detector.real("gamma32"));
  iss.setMinNeighbors(s.detector.whole("minNeighbors"));
  iss.setNumberOfThreads(s.threads);
  iss.setInputCloud(cloud);
  pcl::PointCloud<pcl::PointXYZ> found;
  iss.compute(found);
  for (const int index : iss.getKeypointsIndices()->indices) {
    const pcl::PointXYZ& p = (*cloud)[index];
    keypoints.push_back({p.x, p.y, p.z, float(s.radius * mr), index, {}, 0.0f});
  }
}

pcl::PointCloud<pcl::Normal>::Ptr pclNormals(const Cloud::Ptr& cloud, double radius,
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

// PCL's HarrisKeypoint3D (default method) as ardentis-detect ran it before its fast path.
void pclHarris(const Cloud::Ptr& cloud, const DetectorSettings& s, double mr,
               std::vector<Feature3D>& keypoints) {
  const float radius = float(s.radius * mr);
  pcl::HarrisKeypoint3D<pcl::PointXYZ, pcl::PointXYZI> harris(
      pcl::HarrisKeypoint3D<pcl::PointXYZ, pcl::PointXYZI>::HARRIS, radius,
      float(s.detector.real("threshold")));
  harris.setSearchMethod(
      pcl::search::KdTree<pcl::PointXYZ>::Ptr(new pcl::search::KdTree<pcl::PointXYZ>));
  harris.setNonMaxSupression(true);
  harris.setRefine(false);
  harris.setNumberOfThreads(s.threads);
  harris.setInputCloud(cloud);
  harris.setNormals(pclNormals(cloud, s.radius * mr, s.threads));
  pcl::PointCloud<pcl::PointXYZI> found;
  harris.compute(found);
  for (const int index : harris.getKeypointsIndices()->indices) {
    const pcl::PointXYZ& p = (*cloud)[index];
    keypoints.push_back({p.x, p.y, p.z, radius, index, {}, 0.0f});
  }
}

// PCL's SIFTKeypoint on the curvature of normals, as ardentis-detect ran it before its fast path.
void pclSIFT(const Cloud::Ptr& cloud, const DetectorSettings& s, double mr,
             std::vector<Feature3D>& keypoints) {
  pcl::PointCloud<pcl::PointNormal>::Ptr withCurvature(new pcl::PointCloud<pcl::PointNormal>);
  pcl::concatenateFields(
      *cloud, *pclNormals(cloud, s.detector.real("normalRadius") * mr, s.threads), *withCurvature);
  pcl::SIFTKeypoint<pcl::PointNormal, pcl::PointWithScale> sift;
  sift.setSearchMethod(
      pcl::search::KdTree<pcl::PointNormal>::Ptr(new pcl::search::KdTree<pcl::PointNormal>));
  sift.setScales(float(s.detector.real("minScale") * mr), s.detector.whole("octaves"),
                 s.detector.whole("scalesPerOctave"));
  sift.setMinimumContrast(float(s.detector.real("minContrast")));
  sift.setInputCloud(withCurvature);
  pcl::PointCloud<pcl::PointWithScale> found;
  sift.compute(found);
  for (const pcl::PointWithScale& p : found) {
    keypoints.push_back({p.x, p.y, p.z, p.scale, -1, {}, 0.0f});
  }
}

bool timeOpen3D(const std::string& python, const std::string& script, const std::string& points,
                const DetectorSettings& s, double mr, int runs, Timing& timing) {
  const std::string command =
      python + " " + script + " " + points + " " + std::to_string(s.radius * mr) + " " +
      std::to_string(s.detector.real("nonMaxRadius") * mr) + " " +
      std::to_string(s.detector.real("gamma21")) + " " +
      std::to_string(s.detector.real("gamma32")) + " " +
      std::to_string(s.detector.whole("minNeighbors")) + " " + std::to_string(runs);
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return false;
  const bool read =
      std::fscanf(pipe, "%lf %lf %zu", &timing.seconds, &timing.cpuSeconds, &timing.keypoints) == 3;
  return pclose(pipe) == 0 && read;
}

void row(const char* name, const Timing& t, const char* note = "") {
  std::printf("  %-26s %9.2f %12.2f %10zu %s\n", name, t.seconds, t.cpuSeconds, t.keypoints, note);
}

void ratio(const char* name, const Timing& a, const Timing& b, const char* note = "") {
  std::printf("  %-26s %9.2f %12.2f %s\n", name, a.seconds / b.seconds, a.cpuSeconds / b.cpuSeconds,
              note);
}

const char* agreement(bool same) {
  return same ? "(the same keypoints)" : "(NOT THE SAME KEYPOINTS)";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <cache directory> <python> <open3d_iss.py> [runs [iss|ours]]\n",
                 argv[0]);
    return 2;
  }
  const std::string directory = std::string(argv[1]) + "/1M";
  const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 1;
  const std::string only = argc > 5 ? argv[5] : "";
  if (!ardentis_bench::EnsureWorkload(directory, k1M)) return 1;
  const double mr = meanModelResolution(directory + "/data");
  const Mesh scene =
      loadCleaned(directory + "/data/scenes/scene_" + ardentis_bench::kSceneNoise + ".ply");
  if (!scene || !(mr > 0)) return 1;
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::printf("Scene: %lld vertices after cleaning; mr %f; %u threads; median of %d run(s)\n\n",
              static_cast<long long>(scene->GetNumberOfPoints()), mr, threads, runs);

  std::printf("%-10s %10s %10s %12s\n", "detector", "keypoints", "seconds", "cpu seconds");
  std::map<std::string, Timing> ours;
  std::map<std::string, Keypoints> found;
  for (const std::string detector : {"iss", "harris3d", "sift3d", "uniform"}) {
    if (detector != "iss" && only == "iss") continue;
    const DetectorSettings settings = Ostrel::Detect::settingsFor(detector, 6.0, threads);
    const Timing t = timeDetector(scene, settings, mr, runs, found[detector]);
    ours[detector] = t;
    std::printf("%-10s %10zu %10.2f %12.2f\n", detector.c_str(), t.keypoints, t.seconds,
                t.cpuSeconds);
    std::fflush(stdout);
  }
  if (only == "ours") return 0;

  const DetectorSettings issDefaults = Ostrel::Detect::settingsFor("iss", 6.0, threads);
  const DetectorSettings harrisDefaults = Ostrel::Detect::settingsFor("harris3d", 6.0, threads);
  const DetectorSettings siftDefaults = Ostrel::Detect::settingsFor("sift3d", 6.0, threads);
  const Cloud::Ptr cloud = cloudOf(scene);
  Keypoints reference;
  bool allSame = true;
  const Timing pcl = timeReference(
      runs, reference, [&](std::vector<Feature3D>& k) { pclISS(cloud, issDefaults, mr, k); });
  allSame &= reference == found["iss"];
  const std::string points = directory + "/scene_points.ply";
  Timing open3d{};
  if (!writePoints(scene, points) ||
      !timeOpen3D(argv[2], argv[3], points, issDefaults, mr, runs, open3d)) {
    std::fprintf(stderr, "Open3D's ISS could not be run (%s with open3d)\n", argv[2]);
    return 1;
  }
  std::printf("\nISS side by side (salient 6 mr, non-max 4 mr, 0.975, 0.975, 5 neighbours):\n");
  std::printf("                               seconds  cpu seconds  keypoints\n");
  row("ardentis-detect", ours["iss"]);
  row("PCL ISSKeypoint3D", pcl, agreement(reference == found["iss"]));
  row("Open3D", open3d);
  ratio("ratio ours / Open3D", ours["iss"], open3d);
  ratio("ratio ours / PCL", ours["iss"], pcl);
  if (only == "iss") return allSame ? 0 : 3;

  std::printf(
      "\nHarris3D (harris, radius 6 mr, threshold 1e-6) and SIFT3D (normals 4 mr, scales\n"
      "from 2 mr, 3 octaves of 4, contrast 1e-4) beside PCL's classes:\n");
  std::printf("                               seconds  cpu seconds  keypoints\n");
  const Timing harris = timeReference(
      runs, reference, [&](std::vector<Feature3D>& k) { pclHarris(cloud, harrisDefaults, mr, k); });
  allSame &= reference == found["harris3d"];
  row("harris3d ardentis-detect", ours["harris3d"]);
  row("PCL HarrisKeypoint3D", harris, agreement(reference == found["harris3d"]));
  std::fflush(stdout);
  const Timing sift = timeReference(
      runs, reference, [&](std::vector<Feature3D>& k) { pclSIFT(cloud, siftDefaults, mr, k); });
  allSame &= reference == found["sift3d"];
  row("sift3d ardentis-detect", ours["sift3d"]);
  row("PCL SIFTKeypoint", sift, agreement(reference == found["sift3d"]));
  ratio("ratio harris3d / our ISS", ours["harris3d"], ours["iss"], "(target <= 1.5)");
  ratio("ratio harris3d / PCL", ours["harris3d"], harris);
  ratio("ratio sift3d / our ISS", ours["sift3d"], ours["iss"], "(target <= 1.5)");
  ratio("ratio sift3d / PCL", ours["sift3d"], sift);
  return allSame ? 0 : 3;
}
