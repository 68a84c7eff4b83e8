// ardentis-detect run for real in a temporary data set, then ardentis on what it wrote.

#include <gtest/gtest.h>
#include <vtkAppendPolyData.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "detect/box_mesh.h"
#include "prepare/atomic_output.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

using ardentis_test::ProcessResult;
using ardentis_test::readFile;
using Ostrel::Prepare::writePlyAtomically;

namespace {

// Two models and a noise-free scene holding both, unoccluded and far apart.
class DetectRun : public ::testing::Test {
 protected:
  void SetUp() override {
    auto scene = vtkSmartPointer<vtkAppendPolyData>::New();
    std::string ini = "[SCENE]\nPATH = scenes/scene.ply\n[MODELS]\nNUMBER = 2\n";
    for (int m = 0; m < 2; ++m) {
      const std::string name = m ? "slab" : "box", id = std::to_string(m);
      auto model = ardentis_detect_test::BoxMesh({40 - 10 * m, 32 - 6 * m, 24 - 4 * m}, {}, 0.1);
      ASSERT_EQ(writePlyAtomically(model, dir.file("data/models/" + name + "_0.ply")), "");
      const std::string shift = std::to_string(100 * m);
      dir.write("data/gt/" + name + ".txt",
                "0 -1 0 " + shift + "\n1 0 0 " + shift + "\n0 0 1 " + shift + "\n");
      ini += "MODEL_" + id + " = models/" + name + ".ply\nMODEL_" + id + "_GROUNDTRUTH = gt/" +
             name + ".txt\n";
      for (vtkIdType i = 0; i < model->GetNumberOfPoints(); ++i) {  // a quarter turn, a shift
        const double* p = model->GetPoint(i);
        model->GetPoints()->SetPoint(i, -p[1] + 100 * m, p[0] + 100 * m, p[2] + 100 * m);
      }
      scene->AddInputData(model);
    }
    scene->Update();
    ASSERT_EQ(writePlyAtomically(scene->GetOutput(), dir.file("data/scenes/scene_0.ply")), "");
    dir.write("test.ini", ini);
  }

  ProcessResult detect(std::vector<std::string> args) const {
    const std::vector<std::string> defaults = {"-C", "test.ini", "-S", "feats"};
    for (std::size_t i = 0; i < defaults.size(); i += 2)
      if (std::find(args.begin(), args.end(), defaults[i]) == args.end())
        args.insert(args.end(), {defaults[i], defaults[i + 1]});
    return ardentis_test::runProcess(ARDENTIS_DETECT_BINARY, args, dir.path());
  }

  ardentis_test::TempDir dir;
};

TEST_F(DetectRun, EvaluatorFindsTheFilesAndEveryKeypointRepeats) {
  const ProcessResult detected = detect({"--detector", "iss", "-n", "0", "-r", "5"});
  ASSERT_EQ(detected.status, 0) << detected.err;
  EXPECT_EQ(detected.out.rfind("Mean models' resolution: ", 0), 0u) << detected.out;
  for (const char* mesh : {"\nbox_0: ", "\nslab_0: ", "\nscene_0: "})
    EXPECT_NE(detected.out.find(mesh), std::string::npos) << detected.out;
  const ProcessResult evaluated =
      ardentis_test::runArdentis({"-C", "test.ini", "-S", "feats", "-O", "results", "--detectorID",
                                  "ISS3D", "-r", "5", "-n", "0"},
                                 dir.path());
  ASSERT_EQ(evaluated.status, 0) << evaluated.out << evaluated.err;
  // Both print the same mesh resolution, to the digit.
  const std::string mr = detected.out.substr(25, detected.out.find('\n') - 25);
  EXPECT_NE(evaluated.out.find("Mean models' resolution: " + mr + "\n"), std::string::npos);
  for (const std::string model : {"0", "1"})
    EXPECT_NE(evaluated.out.find("Model " + model + " repeatability :1.000000"), std::string::npos);
  const std::string table = readFile(dir.file("results/ISS3D.csv"));
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 3) << table;  // header and two models
}

TEST_F(DetectRun, OneOrTwoThreadsWriteTheSameBytes) {
  for (const auto& [detector, id] :
       {std::pair("iss", "ISS3D"), std::pair("harris3d", "HARRIS3D")}) {
    for (const std::string threads : {"1", "2"})
      ASSERT_EQ(detect({"-d", detector, "-n", "0", "--threads", threads, "-S", threads}).status, 0);
    for (const std::string mesh : {"_box_0.feat", "_slab_0.feat", "_scene_0.feat"}) {
      const std::string one = readFile(dir.file("1/" + std::string(id) + mesh));
      EXPECT_FALSE(one.empty());
      EXPECT_EQ(one, readFile(dir.file("2/" + std::string(id) + mesh))) << detector << mesh;
    }
  }
}

// A noisy scene older than its noise-0 scene was made from an earlier scene: said, with the
// command that remakes it. Run from elsewhere, a mesh that does not open is explained.
TEST_F(DetectRun, WarnsOfStaleScenesAndExplainsPathsThatDoNotOpen) {
  std::filesystem::copy_file(dir.file("data/scenes/scene_0.ply"),
                             dir.file("data/scenes/scene_0.1.ply"));
  std::filesystem::last_write_time(
      dir.file("data/scenes/scene_0.1.ply"),
      std::filesystem::last_write_time(dir.file("data/scenes/scene_0.ply")) -
          std::chrono::minutes(2));
  const ProcessResult stale = detect({"-d", "uniform", "-n", "0.1"});
  EXPECT_EQ(stale.status, 0) << stale.err;
  EXPECT_EQ(stale.err,
            "ardentis-detect: warning: ./data/scenes/scene_0.1.ply is older than "
            "./data/scenes/scene_0.ply, so it was made from an earlier scene; remake it: "
            "ardentis-prepare noise -C test.ini -n 0.1\n");
  const std::string elsewhere = dir.write("sub/.keep", "");
  const ProcessResult lost = ardentis_test::runProcess(
      ARDENTIS_DETECT_BINARY, {"-C", "../test.ini", "-S", "feats", "-d", "iss"}, dir.file("sub"));
  EXPECT_EQ(lost.status, 1);
  EXPECT_PRED_FORMAT2(testing::IsSubstring,
                      "ardentis-detect: cannot read the model mesh ./data/models/box_0.ply "
                      "(paths in a test configuration are relative to ./data/ of the working "
                      "directory (" +
                          std::filesystem::canonical(dir.file("sub")).string() +
                          "); it is in ../data/: run from ..)\n",
                      lost.err);
}

// Every refusal: one line on standard error naming the problem, a defined status.
TEST_F(DetectRun, RefusesBadInputWithOneLineAndItsStatus) {
  dir.write("not-a-dir", "x");
  dir.write("short.ini", "[SCENE]\nPATH = scenes/scene.ply\n[MODELS]\nNUMBER = 3\n");
  const struct {
    std::vector<std::string> args;
    int status;
    std::string message;
  } cases[] = {
      // clang-format off
      {{"-d", "sobel"}, 2, "unknown detector 'sobel'; known: iss, harris3d, sift3d, uniform"},
      {{"-d", "iss", "-r", "0"}, 2, "--radius must be positive, not 0"},
      {{"-d", "iss", "--nonMaxRadius", "-1"}, 2, "--nonMaxRadius must be positive, not -1"},
      {{"-d", "sift3d", "--octaves", "0"}, 2, "--octaves must be positive, not 0"},
      {{"-d", "iss", "--method", "noble"}, 2, "--method is an option of harris3d, not of iss"},
      {{"-d", "harris3d", "--method", "best"}, 2,
       "--method takes harris, noble, lowe, tomasi or curvature, not 'best'"},
      {{"-d", "iss", "--gamma21", "0.9x"}, 2, "--gamma21 '0.9x' is not a number"},
      {{"-d", "iss", "--threads", "0"}, 2, "--threads must be positive, not 0"},
      {{"-d", "iss", "-C", "short.ini"}, 2, "short.ini: no key MODELS.MODEL_0"},
      {{"-d", "iss", "-C", "none.ini"}, 2, "none.ini: cannot open the test configuration"},
      {{"-d", "iss", "-n", "0.7"}, 1, "cannot load the scene mesh ./data/scenes/scene_0.7.ply (make "
       "it with: ardentis-prepare noise -C test.ini -n 0.7)"},
      {{"-d", "iss", "-S", "not-a-dir"}, 3, "cannot create the directory not-a-dir: Not a directory"},
      // clang-format on
  };
  for (const auto& c : cases) {
    const ProcessResult result = detect(c.args);
    EXPECT_EQ(result.status, c.status) << c.message << "\n" << result.err;
    EXPECT_EQ(result.err, "ardentis-detect: " + c.message + "\n");
  }
  const ProcessResult help = detect({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--nonMaxRadius arg (=4)"), std::string::npos) << help.out;
}

}  // namespace
