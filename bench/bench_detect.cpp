// Detection times of ardentis-detect's detectors on the 1M-vertex workload scene, and Open3D's
// ISS on the same cleaned vertices with the same radii and thresholds, side by side.
// Usage: bench_detect <cache directory> <python with open3d> <open3d_iss.py> [runs [iss]]

#include <pcl/keypoints/iss_3d.h>
#include <pcl/search/kdtree.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/workload.h"
#include "core/clean_poly_data.h"
#include "core/io/load_poly_data.h"
#include "core/mesh_resolution.h"
#include "detect/detectors.h"

namespace {

using Mesh = vtkSmartPointer<vtkPolyData>;
using Ostrel::Detect::DetectorSettings;

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

Timing timeDetector(vtkPolyData* scene, const DetectorSettings& settings, double mr, int runs,
                    std::vector<int>& indices) {
  std::vector<Timing> timings;
  std::vector<Ostrel::LocalFeatures::Impl::Feature3D> keypoints;
  for (int r = 0; r < runs; ++r) {
    std::string error;
    const Clock clock;
    if (!Ostrel::Detect::DetectKeypoints(scene, settings, mr, keypoints, error)) {
      std::fprintf(stderr, "%s: %s\n", settings.detector.spec->name.c_str(), error.c_str());
    }
    timings.push_back({clock.seconds(), keypoints.size(), clock.cpuSeconds()});
  }
  indices.clear();
  for (const auto& k : keypoints) indices.push_back(k.index);
  std::sort(indices.begin(), indices.end());
  return median(timings);
}

// PCL's ISSKeypoint3D as ardentis-detect ran it before its fast path: the reference.
Timing timePCLISS(vtkPolyData* scene, const DetectorSettings& s, double mr, int runs,
                  std::vector<int>& indices) {
  pcl::PointCloud<pcl::PointXYZ>::Ptr cloud(new pcl::PointCloud<pcl::PointXYZ>);
  for (vtkIdType i = 0; i < scene->GetNumberOfPoints(); ++i) {
    double p[3];
    scene->GetPoint(i, p);
    cloud->push_back(pcl::PointXYZ(float(p[0]), float(p[1]), float(p[2])));
  }
  std::vector<Timing> timings;
  for (int r = 0; r < runs; ++r) {
    const Clock clock;
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
    timings.push_back({clock.seconds(), found.size(), clock.cpuSeconds()});
    indices.assign(iss.getKeypointsIndices()->indices.begin(),
                   iss.getKeypointsIndices()->indices.end());
  }
  std::sort(indices.begin(), indices.end());
  return median(timings);
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <cache directory> <python> <open3d_iss.py> [runs]\n", argv[0]);
    return 2;
  }
  const std::string directory = std::string(argv[1]) + "/1M";
  const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 1;
  const bool all = argc <= 5 || std::string(argv[5]) != "iss";  // "iss": ISS alone
  const std::vector<std::string> detectors = {"iss", "harris3d", "sift3d", "uniform"};
  if (!ardentis_bench::EnsureWorkload(directory, k1M)) return 1;
  const double mr = meanModelResolution(directory + "/data");
  const Mesh scene =
      loadCleaned(directory + "/data/scenes/scene_" + ardentis_bench::kSceneNoise + ".ply");
  if (!scene || !(mr > 0)) return 1;
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::printf("Scene: %lld vertices after cleaning; mr %f; %u threads; median of %d run(s)\n\n",
              static_cast<long long>(scene->GetNumberOfPoints()), mr, threads, runs);

  std::printf("%-10s %10s %10s %12s\n", "detector", "keypoints", "seconds", "cpu seconds");
  Timing iss{};
  std::vector<int> ours, reference;
  for (const std::string& detector : detectors) {
    const DetectorSettings settings = Ostrel::Detect::settingsFor(detector, 6.0, threads);
    std::vector<int> indices;
    if (detector != "iss" && !all) continue;
    const Timing t = timeDetector(scene, settings, mr, runs, indices);
    if (detector == "iss") iss = t, ours = indices;
    std::printf("%-10s %10zu %10.2f %12.2f\n", detector.c_str(), t.keypoints, t.seconds,
                t.cpuSeconds);
    std::fflush(stdout);
  }

  const DetectorSettings issSettings = Ostrel::Detect::settingsFor("iss", 6.0, threads);
  const Timing pcl = timePCLISS(scene, issSettings, mr, runs, reference);
  const std::string points = directory + "/scene_points.ply";
  Timing open3d{};
  if (!writePoints(scene, points) ||
      !timeOpen3D(argv[2], argv[3], points, issSettings, mr, runs, open3d)) {
    std::fprintf(stderr, "Open3D's ISS could not be run (%s with open3d)\n", argv[2]);
    return 1;
  }
  std::printf("\nISS side by side (salient 6 mr, non-max 4 mr, 0.975, 0.975, 5 neighbours):\n");
  std::printf("                         seconds  cpu seconds  keypoints\n");
  const auto row = [](const char* name, const Timing& t, const char* note) {
    std::printf("  %-20s %9.2f %12.2f %10zu %s\n", name, t.seconds, t.cpuSeconds, t.keypoints,
                note);
  };
  row("ardentis-detect", iss, "");
  row("PCL ISSKeypoint3D", pcl, ours == reference ? "(the same keypoints)" : "(NOT THE SAME)");
  row("Open3D", open3d, "");
  std::printf("  ratio ours / Open3D  %9.2f %12.2f\n", iss.seconds / open3d.seconds,
              iss.cpuSeconds / open3d.cpuSeconds);
  std::printf("  ratio ours / PCL     %9.2f %12.2f\n", iss.seconds / pcl.seconds,
              iss.cpuSeconds / pcl.cpuSeconds);
  return 0;
}
