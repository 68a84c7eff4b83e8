#include "grid_data_set.h"

#include <sstream>

namespace ardentis_test {

const std::vector<std::string> kGridNoise = {"0", "0.1", "0.3", "0.5"};
const std::vector<std::string> kGridThresholds = {"1", "2"};
const std::vector<std::string> kGridModels = {"plate_0", "ridge_0"};

namespace {

const int kSide = 5;
const char* const kNames[2] = {"plate", "ridge"};
// Each model sits in the scene shifted by a translation (ground truth: identity rotation).
const double kShift[2][2] = {{10, 0}, {0, 10}};

// Vertex v of model m moved into the scene at noise level k (k < 0: the model itself).
std::string vertex(int m, int v, int k) {
  const int i = v % kSide, j = v / kSide;
  double z = m == 0 ? 0.05 * i * j : 0.5 * std::abs(i - 2);
  std::ostringstream text;
  if (k < 0) return (text << i << " " << j << " " << z, text.str());
  z += std::stod(kGridNoise[k]) * 0.2 * (v % 3 - 1);
  text << i + kShift[m][0] << " " << j + kShift[m][1] << " " << z;
  return text.str();
}

std::string ply(const std::vector<int>& models, int k) {
  std::ostringstream text;
  const int side = kSide - 1;
  text << "ply\nformat ascii 1.0\nelement vertex " << models.size() * kSide * kSide
       << "\nproperty float x\nproperty float y\nproperty float z\nelement face "
       << models.size() * side * side * 2
       << "\nproperty list uchar int vertex_indices\nend_header\n";
  for (int m : models) {
    for (int v = 0; v < kSide * kSide; ++v) text << vertex(m, v, k) << "\n";
  }
  for (std::size_t p = 0; p < models.size(); ++p) {
    for (int q = 0; q < side * side; ++q) {
      const int v = int(p) * kSide * kSide + q / side * kSide + q % side;
      text << "3 " << v << " " << v + 1 << " " << v + kSide << "\n3 " << v + 1 << " "
           << v + kSide + 1 << " " << v + kSide << "\n";
    }
  }
  return text.str();
}

// Detector A picks the diagonal, B four edge midpoints. In the scene at noise level k their
// keypoints drift along x by 0.4 k (A) or 0.1 k (B), and their scale grows by 0.1 k.
std::string keypoints(int detector, const std::vector<int>& models, int k) {
  const std::vector<int> chosen =
      detector == 0 ? std::vector<int>{0, 6, 12, 18, 24} : std::vector<int>{2, 10, 14, 22};
  std::ostringstream text;
  text << models.size() * chosen.size() << "\n";
  for (int m : models) {
    for (int v : chosen) {
      std::istringstream position(vertex(m, v, k));
      double x, y, z;
      position >> x >> y >> z;
      text << x + std::max(k, 0) * (detector == 0 ? 0.4 : 0.1) << " " << y << " " << z << " "
           << 1 + 0.1 * std::max(k, 0) << " " << v << " 1\n";
    }
  }
  return text.str();
}

}  // namespace

std::vector<GridEntry> gridEntries() {
  return {{"[A]\ndetector = precomputed\n", "A", -1},
          {"[B]\ndetector = precomputed\nradius = 3\n", "B", 3}};
}

std::string keypointFile(const std::string& id, const std::string& mesh) {
  return "feats/" + std::string(id == "A" ? "A_" : "B_R-3_") + mesh + ".feat";
}

void writeGridDataSet(const TempDir& dir, bool withReport) {
  std::string config = "[SCENE]\nPATH = scenes/scene.ply\n[MODELS]\nNUMBER = 2\n";
  for (int m = 0; m < 2; ++m) {
    const std::string name = kNames[m], key = "MODEL_" + std::to_string(m);
    config += key + " = models/" + name + ".ply\n" + key + "_GROUNDTRUTH = gt/" + name + ".txt\n";
    dir.write("data/models/" + name + "_0.ply", ply({m}, -1));
    dir.write("data/gt/" + name + ".txt", "1 0 0 " + std::to_string(kShift[m][0]) + "\n0 1 0 " +
                                              std::to_string(kShift[m][1]) + "\n0 0 1 0\n");
    for (int detector = 0; detector < 2; ++detector) {
      dir.write(keypointFile(detector == 0 ? "A" : "B", kGridModels[m]),
                keypoints(detector, {m}, -1));
    }
  }
  for (int k = 0; k < int(kGridNoise.size()); ++k) {
    dir.write("data/scenes/scene_" + kGridNoise[k] + ".ply", ply({0, 1}, k));
    for (int detector = 0; detector < 2; ++detector) {
      dir.write(keypointFile(detector == 0 ? "A" : "B", "scene_" + kGridNoise[k]),
                keypoints(detector, {0, 1}, k));
    }
  }
  dir.write("test.ini", config);
  std::string grid = "[grid]\nconfigFile = test.ini\nnoise = 0 0.1 0.3 0.5\nthresholds = 1 2\n";
  grid += withReport ? "report = report\n" : "report = none\n";
  for (const GridEntry& entry : gridEntries()) grid += entry.section;
  dir.write("grid.ini", grid);
}

ProcessResult runGrid(const std::vector<std::string>& args, const std::string& dir) {
  return runProcess(ARDENTIS_GRID_BINARY, args, dir);
}

std::vector<std::string> tableRows(const std::string& path) {
  std::istringstream text(readFile(path));
  std::vector<std::string> rows;
  std::string line;
  for (std::getline(text, line); std::getline(text, line);) rows.push_back(line);
  return rows;
}

}  // namespace ardentis_test
