// The real binary on command lines and configurations that end the run before any mesh is read.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_process.h"
#include "support/temp_dir.h"

using ardentis_test::runArdentis;
using ardentis_test::TempDir;

namespace {

const std::string kBanner = "Ardentis Version 1.0\n";

TEST(RunOptions, HelpPrintsBannerAndListingThenEndsWith255) {
  TempDir dir;
  const auto result = runArdentis({"--help", "-C", "missing.ini"}, dir.path());
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out.rfind(kBanner + "Command line options:\n", 0), 0u) << result.out;
  EXPECT_NE(result.out.find("-n [ --sigmaSceneNoise ] arg (=0.10000000000000001)"),
            std::string::npos);
  EXPECT_EQ(result.out.substr(result.out.size() - 2), "\n\n");
  EXPECT_EQ(result.out.find("Loading"), std::string::npos);
  EXPECT_EQ(result.err, "");
}

TEST(RunOptions, FailuresBeforeLoadingEndWith255) {
  TempDir dir;
  dir.write("bad.ini", "[SCENE]\nPATH = s.ply\nPATH = t.ply\n");
  dir.write("nomodels.ini", "[SCENE]\nPATH = s.ply\n");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string expectedOut;  // after the banner
  };
  const std::vector<Case> cases = {
      {"no config file option",
       {"-S", "feats", "-O", "out", "--detectorID", "DET"},
       "Path to config file storing test configuration is missing on the command line\nUsage::\n"},
      {"config file missing",
       {"-C", "missing.ini", "-S", "f", "-O", "o"},
       "Problems opening config file missing.ini\n"},
      {"key given twice",
       {"-C", "bad.ini", "-S", "f", "-O", "o"},
       "option 'SCENE.PATH' cannot be specified more than once"},
      {"unknown option", {"--colour", "red"}, "unrecognised option '--colour'"},
      {"no model count",
       {"-C", "nomodels.ini", "-S", "f", "-O", "o"},
       "Missing key \"MODELS.NUMBER\" in config file nomodels.ini\n"},
  };
  for (const Case& c : cases) {
    const auto result = runArdentis(c.args, dir.path());
    EXPECT_EQ(result.status, 255) << c.name;
    EXPECT_EQ(result.err, "") << c.name;
    if (c.expectedOut.back() == '\n' && c.expectedOut.find("Usage::") != std::string::npos) {
      EXPECT_EQ(result.out.rfind(kBanner + c.expectedOut + "Command line options:\n", 0), 0u)
          << c.name << ": " << result.out;
    } else {
      EXPECT_EQ(result.out, kBanner + c.expectedOut) << c.name;
    }
  }
}

}  // namespace
