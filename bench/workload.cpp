#include "bench/workload.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <unordered_set>
#include <vector>

namespace ardentis_bench {
namespace {

struct Mesh {
  std::vector<float> xyz;
  std::vector<std::int32_t> triangles;
  std::size_t vertexCount() const { return xyz.size() / 3; }
};

struct Pose {
  float rotation[9];  // row by row
  float translation[3];
};

struct Keypoint {
  float xyz[3];
  float scale;
  int index;
  float score;
};

const double kPi = 3.14159265358979323846;

// A torus whose surface is displaced by a few seeded waves, so models differ and edge lengths
// vary. The grid wraps around in both directions, so every vertex is used and none repeats.
Mesh MakeModel(const WorkloadShape& shape, std::mt19937& random) {
  std::uniform_real_distribution<double> phase(0.0, 2 * kPi);
  const double a1 = phase(random), a2 = phase(random), a3 = phase(random);
  const double ring = 40.0, tube = 12.0;
  Mesh mesh;
  const int rows = shape.ringSteps, cols = shape.tubeSteps;
  mesh.xyz.reserve(3 * std::size_t(rows) * cols);
  for (int i = 0; i < rows; ++i) {
    const double u = 2 * kPi * i / rows;
    for (int j = 0; j < cols; ++j) {
      const double v = 2 * kPi * j / cols;
      const double bump =
          1.5 * std::sin(3 * u + a1) * std::cos(2 * v + a2) + 0.6 * std::sin(7 * u + 5 * v + a3);
      const double r = tube + bump;
      mesh.xyz.push_back(float((ring + r * std::cos(v)) * std::cos(u)));
      mesh.xyz.push_back(float((ring + r * std::cos(v)) * std::sin(u)));
      mesh.xyz.push_back(float(r * std::sin(v) + 2.0 * std::sin(2 * u + a2)));
    }
  }
  mesh.triangles.reserve(6 * std::size_t(rows) * cols);
  for (int i = 0; i < rows; ++i) {
    for (int j = 0; j < cols; ++j) {
      const int a = i * cols + j, b = ((i + 1) % rows) * cols + j;
      const int c = i * cols + (j + 1) % cols, d = ((i + 1) % rows) * cols + (j + 1) % cols;
      mesh.triangles.insert(mesh.triangles.end(), {a, b, d, a, d, c});
    }
  }
  return mesh;
}

Pose MakePose(int index, std::mt19937& random) {
  std::normal_distribution<double> gauss(0.0, 1.0);
  double axis[3] = {gauss(random), gauss(random), gauss(random)};
  const double norm = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
  for (double& c : axis) c /= norm;
  const double angle = std::uniform_real_distribution<double>(0.2, 3.0)(random);
  const double s = std::sin(angle), c = std::cos(angle), t = 1 - c;
  const double x = axis[0], y = axis[1], z = axis[2];
  const double r[9] = {t * x * x + c,     t * x * y - s * z, t * x * z + s * y,
                       t * x * y + s * z, t * y * y + c,     t * y * z - s * x,
                       t * x * z - s * y, t * y * z + s * x, t * z * z + c};
  Pose pose;
  for (int k = 0; k < 9; ++k) pose.rotation[k] = float(r[k]);
  pose.translation[0] = float(120.0 * index + 5.0 * gauss(random));
  pose.translation[1] = float(5.0 * gauss(random));
  pose.translation[2] = float(5.0 * gauss(random));
  return pose;
}

void Apply(const Pose& pose, const float* p, float* out) {
  const float* r = pose.rotation;
  for (int k = 0; k < 3; ++k) {
    out[k] = (r[3 * k] * p[0] + r[3 * k + 1] * p[1]) + r[3 * k + 2] * p[2] + pose.translation[k];
  }
}

double MeanEdge(const Mesh& mesh) {
  double sum = 0;
  const std::size_t sample = std::min<std::size_t>(mesh.triangles.size(), 30000);
  for (std::size_t k = 0; k < sample; k += 3) {
    const float* a = &mesh.xyz[3 * mesh.triangles[k]];
    const float* b = &mesh.xyz[3 * mesh.triangles[k + 1]];
    sum += std::sqrt(double((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                            (a[2] - b[2]) * (a[2] - b[2])));
  }
  return sum / double(sample / 3);
}

// The scene part of one model: posed, with noise, and with the vertices beyond a plane cut
// away (occlusion) together with their triangles. `sceneId` maps model vertices to scene ids
// (-1 when cut); new ids start at `firstId`.
void AddToScene(const Mesh& model, const Pose& pose, double noiseSigma, std::mt19937& random,
                Mesh& scene, std::vector<std::int32_t>& sceneId) {
  std::vector<float> xs;
  for (std::size_t v = 0; v < model.vertexCount(); ++v) xs.push_back(model.xyz[3 * v]);
  std::nth_element(xs.begin(), xs.begin() + xs.size() * 9 / 10, xs.end());
  const float cut = xs[xs.size() * 9 / 10];
  std::normal_distribution<float> noise(0.0f, float(noiseSigma));
  sceneId.assign(model.vertexCount(), -1);
  for (std::size_t v = 0; v < model.vertexCount(); ++v) {
    if (model.xyz[3 * v] > cut) continue;
    float posed[3];
    Apply(pose, &model.xyz[3 * v], posed);
    sceneId[v] = std::int32_t(scene.vertexCount());
    for (float c : posed) scene.xyz.push_back(c + noise(random));
  }
  for (std::size_t k = 0; k < model.triangles.size(); k += 3) {
    const int a = sceneId[model.triangles[k]], b = sceneId[model.triangles[k + 1]],
              c = sceneId[model.triangles[k + 2]];
    if (a >= 0 && b >= 0 && c >= 0) scene.triangles.insert(scene.triangles.end(), {a, b, c});
  }
}

// The same surface as a range scanner leaves it: the triangles come in patches (blocks of
// consecutive triangles), each patch storing its own copy of every vertex it uses, so vertices
// on the seams between patches are stored two or more times; each patch also holds two
// degenerate triangles (one naming a vertex twice, one joining two copies of a seam vertex),
// and a few vertices no triangle uses follow. Cleaning gives back `mesh` up to the numbering.
Mesh RawScanLayout(const Mesh& mesh) {
  constexpr std::size_t kPatchTriangles = 16384;
  Mesh raw;
  // Copy of each vertex in the latest patch that uses it, and that patch.
  std::vector<std::int32_t> copyOf(mesh.vertexCount(), -1), patchOf(mesh.vertexCount(), -1);
  std::int32_t patch = 0;
  for (std::size_t first = 0; first < mesh.triangles.size(); first += 3 * kPatchTriangles) {
    const std::size_t end = std::min(mesh.triangles.size(), first + 3 * kPatchTriangles);
    const std::size_t start = raw.triangles.size();
    std::int32_t seamCopy = -1, seamEarlierCopy = -1;  // one vertex the previous patch stored
    for (std::size_t k = first; k < end; ++k) {
      const std::int32_t v = mesh.triangles[k];
      if (patchOf[v] != patch) {
        const std::int32_t copy = std::int32_t(raw.vertexCount());
        if (seamCopy < 0 && patch > 0 && patchOf[v] == patch - 1) {
          seamCopy = copy;
          seamEarlierCopy = copyOf[v];
        }
        patchOf[v] = patch;
        copyOf[v] = copy;
        raw.xyz.insert(raw.xyz.end(), &mesh.xyz[3 * v], &mesh.xyz[3 * v] + 3);
      }
      raw.triangles.push_back(copyOf[v]);
    }
    const std::int32_t a = raw.triangles[start], b = raw.triangles[start + 1];
    raw.triangles.insert(raw.triangles.end(), {a, b, a});
    if (seamCopy >= 0) raw.triangles.insert(raw.triangles.end(), {seamCopy, a, seamEarlierCopy});
    ++patch;
  }
  for (int k = 0; k < 100; ++k) {
    const float* p = &mesh.xyz[3 * ((k * 7919) % mesh.vertexCount())];
    raw.xyz.insert(raw.xyz.end(), {p[0] + 0.5f, p[1] + 0.5f, p[2] + 0.5f});
  }
  return raw;
}

bool WritePly(const std::string& path, const Mesh& mesh) {
  std::ofstream out(path, std::ios::binary);
  out << "ply\nformat binary_little_endian 1.0\ncomment Ardentis benchmark workload\n"
      << "element vertex " << mesh.vertexCount()
      << "\nproperty float x\nproperty float y\nproperty float z\n"
      << "element face " << mesh.triangles.size() / 3
      << "\nproperty list uchar int vertex_indices\nend_header\n";
  out.write(reinterpret_cast<const char*>(mesh.xyz.data()), mesh.xyz.size() * sizeof(float));
  std::vector<char> faces;
  faces.reserve(mesh.triangles.size() / 3 * 13);
  for (std::size_t k = 0; k < mesh.triangles.size(); k += 3) {
    faces.push_back(3);
    const char* ids = reinterpret_cast<const char*>(&mesh.triangles[k]);
    faces.insert(faces.end(), ids, ids + 12);
  }
  out.write(faces.data(), faces.size());
  return bool(out);
}

bool WriteKeypoints(const std::string& path, const std::vector<Keypoint>& keypoints) {
  std::FILE* out = std::fopen(path.c_str(), "w");
  if (out == nullptr) return false;
  std::fprintf(out, "%zu\n", keypoints.size());
  for (const Keypoint& k : keypoints) {
    std::fprintf(out, "%.9g %.9g %.9g %.9g %d %.9g\n", k.xyz[0], k.xyz[1], k.xyz[2], k.scale,
                 k.index, k.score);
  }
  return std::fclose(out) == 0;
}

bool WritePose(const std::string& path, const Pose& pose) {
  std::FILE* out = std::fopen(path.c_str(), "w");
  if (out == nullptr) return false;
  for (int row = 0; row < 3; ++row) {
    const float* r = &pose.rotation[3 * row];
    std::fprintf(out, "%.9g %.9g %.9g %.9g\n", r[0], r[1], r[2], pose.translation[row]);
  }
  return std::fclose(out) == 0;
}

// Keypoints at `count` distinct vertices: two scene keypoints at one position would leave the
// nearest match to the locator's tie-breaking, and the peer's counts could differ.
std::vector<Keypoint> PickKeypoints(const Mesh& mesh, int count, std::mt19937& random) {
  std::uniform_int_distribution<int> vertex(0, int(mesh.vertexCount()) - 1);
  std::uniform_real_distribution<float> scale(2.0f, 6.0f), score(0.0f, 1.0f);
  std::vector<Keypoint> keypoints(count);
  std::unordered_set<int> taken;
  for (Keypoint& k : keypoints) {
    do {
      k.index = vertex(random);
    } while (!taken.insert(k.index).second);
    std::copy_n(&mesh.xyz[3 * k.index], 3, k.xyz);
    k.scale = scale(random);
    k.score = score(random);
  }
  return keypoints;
}

// Scene keypoints: most visible model keypoints found again, a little off and at a slightly
// different scale, plus detections of the scene's own.
void AddSceneKeypoints(const std::vector<Keypoint>& modelKeypoints, const Pose& pose,
                       const std::vector<std::int32_t>& sceneId, double resolution,
                       std::mt19937& random, std::vector<Keypoint>& sceneKeypoints) {
  std::uniform_real_distribution<float> chance(0.0f, 1.0f), jitter(-1.0f, 1.0f);
  for (const Keypoint& k : modelKeypoints) {
    if (sceneId[k.index] < 0 || chance(random) > 0.8f) continue;
    Keypoint found = k;
    Apply(pose, k.xyz, found.xyz);
    for (float& c : found.xyz) c += float(resolution) * jitter(random);
    found.scale = k.scale * (1.0f + 0.1f * jitter(random));
    found.index = sceneId[k.index];
    sceneKeypoints.push_back(found);
  }
}

bool WriteIni(const std::string& path, int models) {
  std::ofstream out(path);
  out << "[SCENE]\nPATH = scenes/scene.ply\nGT_THRESHOLD = 2.0\n[MODELS]\nNUMBER = " << models
      << "\n";
  for (int i = 0; i < models; ++i) {
    out << "MODEL_" << i << " = models/m" << i << ".ply\nMODEL_" << i << "_GROUNDTRUTH = gt/m" << i
        << ".txt\n";
  }
  return bool(out);
}

bool Generate(const std::string& dir, const WorkloadShape& shape) {
  for (const char* sub : {"", "/data", "/data/models", "/data/scenes", "/data/gt", "/feats"}) {
    mkdir((dir + sub).c_str(), 0755);
  }
  std::mt19937 random(20240611);
  Mesh scene;
  std::vector<Keypoint> sceneKeypoints;
  const std::string feats = dir + "/feats/" + kDetectorName + "_";
  bool ok = WriteIni(dir + "/test.ini", shape.models);
  for (int i = 0; i < shape.models && ok; ++i) {
    const Mesh model = MakeModel(shape, random);
    const Pose pose = MakePose(i, random);
    const double resolution = MeanEdge(model);
    std::vector<std::int32_t> sceneId;
    AddToScene(model, pose, 0.1 * resolution, random, scene, sceneId);
    const std::vector<Keypoint> keypoints = PickKeypoints(model, shape.keypoints, random);
    AddSceneKeypoints(keypoints, pose, sceneId, resolution, random, sceneKeypoints);
    const std::string name = "m" + std::to_string(i);
    // Keypoint indices keep the clean numbering: the evaluation reads positions only.
    ok = WritePly(dir + "/data/models/" + name + "_0.ply",
                  shape.rawScan ? RawScanLayout(model) : model) &&
         WritePose(dir + "/data/gt/" + name + ".txt", pose) &&
         WriteKeypoints(feats + name + "_0.feat", keypoints);
  }
  if (!ok) return false;
  const std::vector<Keypoint> own = PickKeypoints(scene, shape.keypoints / 2, random);
  sceneKeypoints.insert(sceneKeypoints.end(), own.begin(), own.end());
  return WritePly(dir + "/data/scenes/scene_" + kSceneNoise + ".ply",
                  shape.rawScan ? RawScanLayout(scene) : scene) &&
         WriteKeypoints(feats + "scene_" + kSceneNoise + ".feat", sceneKeypoints);
}

}  // namespace

bool EnsureWorkload(const std::string& directory, const WorkloadShape& shape) {
  // The stamp names the layout's version: a workload written by an older generator is redone.
  const std::string stamp = directory + "/complete-2";
  struct stat info;
  if (stat(stamp.c_str(), &info) == 0) return true;
  std::fprintf(stderr, "Writing the workload into %s ...\n", directory.c_str());
  if (!Generate(directory, shape) || !std::ofstream(stamp)) {
    std::fprintf(stderr, "Cannot write the workload into %s\n", directory.c_str());
    return false;
  }
  return true;
}

}  // namespace ardentis_bench
