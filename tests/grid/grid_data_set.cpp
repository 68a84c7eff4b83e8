#include "grid_data_set.h"

#include <sstream>

namespace ardentis_test {

const std::vector<std::string> kGridNoise = {"0", "0.1", "0.3", "0.5"};
const std::vector<std::string> kGridThresholds = {"1", "2"};
const std::vector<std::string> kGridModels = {"plate_0", "ridge_0"};

namespace {

const int kSide = 5;
// Where each model sits in the scene (a translation; ground truth with identity rotation).
const double kOffsets[2][3] = {{10, 0, 0}, {0, 10, 0}};

struct Point {
  double x, y, z;
};

std::vector<Point> patch(int model) {
  std::vector<Point> points;
  for (int j = 0; j < kSide; ++j) {
    for (int i = 0; i < kSide; ++i) {
      const double z = model == 0 ? 0.05 * i * j : 0.5 * std::abs(i - 2);
      points.push_back({double(i), double(j), z});
    }
  }
  return points;
}

std::string ply(const std::vector<Point>& points, int patches) {
  std::ostringstream text;
  const int faces = patches * (kSide - 1) * (kSide - 1) * 2;
  text << "ply\nformat ascii 1.0\nelement vertex " << points.size()
       << "\nproperty float x\nproperty float y\nproperty float z\nelement face " << faces
       << "\nproperty list uchar int vertex_indices\nend_header\n";
  for (const Point& p : points) text << p.x << " " << p.y << " " << p.z << "\n";
  for (int p = 0; p < patches; ++p) {
    for (int j = 0; j + 1 < kSide; ++j) {
      for (int i = 0; i + 1 < kSide; ++i) {
        const int v = p * kSide * kSide + j * kSide + i;
        text << "3 " << v << " " << v + 1 << " " << v + kSide << "\n";
        text << "3 " << v + 1 << " " << v + kSide + 1 << " " << v + kSide << "\n";
      }
    }
  }
  return text.str();
}

// Detector A picks the diagonal, B four edge midpoints; in the scene at noise level k their
// keypoints drift by 0.4 k (A, along x) or 0.3 k (B, along y) and their scale grows.
std::vector<int> keypointVertices(int detector) {
  return detector == 0 ? std::vector<int>{0, 6, 12, 18, 24} : std::vector<int>{2, 10, 14, 22};
}

std::string featFile(const std::vector<Point>& points, double scale) {
  std::ostringstream text;
  text << points.size() << "\n";
  for (std::size_t i = 0; i < points.size(); ++i) {
    text << points[i].x << " " << points[i].y << " " << points[i].z << " " << scale << " " << i
         << " 1\n";
  }
  return text.str();
}

std::string featName(int detector, const std::string& mesh) {
  return detector == 0 ? "feats/A_" + mesh + ".feat" : "feats/B_R-3_" + mesh + ".feat";
}

void writeKeypoints(const TempDir& dir, int detector) {
  for (int model = 0; model < 2; ++model) {
    std::vector<Point> chosen;
    for (int v : keypointVertices(detector)) chosen.push_back(patch(model)[v]);
    dir.write(featName(detector, kGridModels[model]), featFile(chosen, 1.0));
  }
  for (std::size_t k = 0; k < kGridNoise.size(); ++k) {
    std::vector<Point> scene;
    for (int model = 0; model < 2; ++model) {
      for (int v : keypointVertices(detector)) {
        Point p = patch(model)[v];
        p.x += kOffsets[model][0] + (detector == 0 ? 0.4 * k : 0);
        p.y += kOffsets[model][1] + (detector == 1 ? 0.3 * k : 0);
        scene.push_back(p);
      }
    }
    dir.write(featName(detector, "scene_" + kGridNoise[k]), featFile(scene, 1.0 + 0.1 * k));
  }
}

void writeMeshes(const TempDir& dir) {
  const char* names[2] = {"plate", "ridge"};
  for (int model = 0; model < 2; ++model) {
    dir.write(std::string("data/models/") + names[model] + "_0.ply", ply(patch(model), 1));
    std::ostringstream pose;
    pose << "1 0 0 " << kOffsets[model][0] << "\n0 1 0 " << kOffsets[model][1] << "\n0 0 1 0\n";
    dir.write(std::string("data/gt/") + names[model] + ".txt", pose.str());
  }
  for (std::size_t k = 0; k < kGridNoise.size(); ++k) {
    std::vector<Point> scene;
    for (int model = 0; model < 2; ++model) {
      int n = 0;
      for (Point p : patch(model)) {
        p.x += kOffsets[model][0];
        p.y += kOffsets[model][1];
        p.z += std::stod(kGridNoise[k]) * 0.2 * ((n++ % 3) - 1);
        scene.push_back(p);
      }
    }
    dir.write("data/scenes/scene_" + kGridNoise[k] + ".ply", ply(scene, 2));
  }
}

}  // namespace

std::vector<GridEntry> gridEntries() {
  return {{"[A]\ndetector = precomputed\n", "A", -1},
          {"[B]\ndetector = precomputed\nradius = 3\n", "B", 3}};
}

void writeGridDataSet(const TempDir& dir, bool withReport) {
  writeMeshes(dir);
  writeKeypoints(dir, 0);
  writeKeypoints(dir, 1);
  dir.write("test.ini",
            "[SCENE]\nPATH = scenes/scene.ply\nGT_THRESHOLD = 2.0\n[MODELS]\nNUMBER = 2\n"
            "MODEL_0 = models/plate.ply\nMODEL_0_GROUNDTRUTH = gt/plate.txt\n"
            "MODEL_1 = models/ridge.ply\nMODEL_1_GROUNDTRUTH = gt/ridge.txt\n");
  std::string grid =
      "# Two outside detectors, four noise levels, two thresholds.\n[grid]\n"
      "configFile = test.ini\nnoise = 0 0.1 0.3 0.5\nthresholds = 1 2\n";
  grid += withReport ? "report = report\n" : "report = none\n";
  for (const GridEntry& entry : gridEntries()) grid += "\n" + entry.section;
  dir.write("grid.ini", grid);
}

std::string sceneKeypointFile(const std::string& id, const std::string& noise) {
  return featName(id == "A" ? 0 : 1, "scene_" + noise);
}

ProcessResult runGrid(const std::vector<std::string>& args, const std::string& dir) {
  return runProcess(ARDENTIS_GRID_BINARY, args, dir);
}

std::vector<std::string> tableRows(const std::string& path) {
  std::istringstream text(readFile(path));
  std::vector<std::string> rows;
  std::string line;
  std::getline(text, line);
  while (std::getline(text, line)) rows.push_back(line);
  return rows;
}

}  // namespace ardentis_test
