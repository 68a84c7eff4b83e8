#include "grid_data_set.h"

#include <sstream>

namespace ardentis_test {

const std::vector<std::string> kGridNoise = {"0", "0.1", "0.3", "0.5"};
const std::vector<std::string> kGridThresholds = {"1", "2"};
const std::vector<std::string> kGridModels = {"short_0", "tall_0"};

namespace {

const char* const kNames[2] = {"short", "tall"};
// Model m is a tetrahedron m + 1 units tall, set in the scene at (10 m, 10, 0).
const double kCorners[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

// Corner c of model m: in the model (k < 0) or in the scene at noise level k, where detector
// `drift`'s keypoints also move along x by `drift` k.
std::string corner(int m, int c, int k, double drift = 0) {
  std::ostringstream text;
  const double z = kCorners[c][2] * (m + 1) + (k < 0 ? 0 : std::stod(kGridNoise[k]) * 0.1 * c);
  const double x = kCorners[c][0] + (k < 0 ? 0 : 10 * m + drift * k);
  text << x << " " << kCorners[c][1] + (k < 0 ? 0 : 10) << " " << z;
  return text.str();
}

std::string ply(const std::vector<int>& models, int k) {
  std::ostringstream text;
  text << "ply\nformat ascii 1.0\nelement vertex " << 4 * models.size()
       << "\nproperty float x\nproperty float y\nproperty float z\nelement face "
       << 4 * models.size() << "\nproperty list uchar int vertex_indices\nend_header\n";
  for (int m : models) {
    for (int c = 0; c < 4; ++c) text << corner(m, c, k) << "\n";
  }
  for (std::size_t p = 0; p < 4 * models.size(); p += 4) {
    text << "3 " << p << " " << p + 1 << " " << p + 2 << "\n3 " << p << " " << p + 1 << " " << p + 3
         << "\n3 " << p << " " << p + 2 << " " << p + 3 << "\n3 " << p + 1 << " " << p + 2 << " "
         << p + 3 << "\n";
  }
  return text.str();
}

// Detector A finds all four corners, B three; in the scene their keypoints drift and their
// scale grows with the noise level.
std::string keypoints(int detector, const std::vector<int>& models, int k) {
  const int corners = detector == 0 ? 4 : 3;
  std::ostringstream text;
  text << models.size() * corners << "\n";
  for (int m : models) {
    for (int c = 0; c < corners; ++c) {
      text << corner(m, c, k, detector == 0 ? 0.4 : 0.1) << " " << 1 + 0.1 * std::max(k, 0) << " "
           << c << " 1\n";
    }
  }
  return text.str();
}

}  // namespace

std::vector<GridEntry> gridEntries() {
  return {{"[A]\ndetector = precomputed\n", "A", -1},
          {"[B]\ndetector = precomputed\nradius = 3\n", "B", 3}};
}

std::size_t gridDetections() {
  std::size_t count = 0;
  for (const GridEntry& entry : gridEntries())
    count += entry.section.find("precomputed") == std::string::npos;
  return count;
}

std::size_t gridEvaluations() {
  return gridEntries().size() * kGridNoise.size();
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
    dir.write("data/gt/" + name + ".txt",
              "1 0 0 " + std::to_string(10 * m) + "\n0 1 0 10\n0 0 1 0\n");
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
