#include "config/parse_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace po = boost::program_options;
using ardentis_test::TempDir;

namespace {

struct ParseResult {
  bool ok = false;
  std::string out;
  po::variables_map vm;
};

ParseResult parse(std::vector<std::string> args) {
  args.insert(args.begin(), "ardentis");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  ParseResult result;
  testing::internal::CaptureStdout();
  result.ok = parseOptions(static_cast<int>(argv.size()), argv.data(), result.vm);
  result.out = testing::internal::GetCapturedStdout();
  return result;
}

const char* kTwoModels =
    "# a test\n"
    "[SCENE]\n"
    "PATH = scenes/s1.ply\n"
    "GT_THRESHOLD = 2.0\n"
    "[MODELS]\n"
    "NUMBER = 2\n"
    "MODEL_0 = models/m0.ply\n"
    "MODEL_0_GROUNDTRUTH = gt/m0.txt   # pose of m0\n"
    "MODEL_1 = \"models/m1.ply\"\n"
    "MODEL_1_GROUNDTRUTH = gt/m1.txt\n"
    "MODEL_2 = models/m2.ply\n";

std::vector<std::string> runArgs(const std::string& config) {
  return {"-C", config, "-S", "feats", "-O", "out", "--detectorID", "DET"};
}

TEST(ParseOptions, CommandLineFormsGiveTheSameValues) {
  TempDir dir;
  const std::string config = dir.write("t.ini", kTwoModels);
  const std::vector<std::vector<std::string>> radiusForms = {
      {"-r", "6"}, {"--radius", "6"}, {"--radius=6"}, {"-r6"}};
  for (const auto& form : radiusForms) {
    std::vector<std::string> args = runArgs(config);
    args.insert(args.end(), form.begin(), form.end());
    ParseResult result = parse(args);
    ASSERT_TRUE(result.ok) << form[0] << ": " << result.out;
    EXPECT_EQ(result.vm["radius"].as<int>(), 6) << form[0];
  }
}

TEST(ParseOptions, DefaultsAndConfigurationValues) {
  TempDir dir;
  ParseResult result = parse(runArgs(dir.write("t.ini", kTwoModels)));
  ASSERT_TRUE(result.ok) << result.out;
  EXPECT_EQ(result.out, "");
  const po::variables_map& vm = result.vm;
  EXPECT_EQ(vm["radius"].as<int>(), -1);
  EXPECT_EQ(vm["sigmaSceneNoise"].as<double>(), 0.1);
  EXPECT_EQ(vm["repeatabilityTh"].as<double>(), 1.0);
  EXPECT_EQ(vm["normals"].as<char>(), 'V');
  EXPECT_EQ(vm["maxVertexesInDataset"].as<int>(), -1);
  EXPECT_EQ(vm["detectorID"].as<std::string>(), "DET");
  EXPECT_EQ(vm["SCENE.PATH"].as<std::string>(), "scenes/s1.ply");
  EXPECT_EQ(vm["SCENE.GT_THRESHOLD"].as<double>(), 2.0);
  EXPECT_EQ(vm["SCENE.CLUTTER_KEYPOINTS_PERCENTAGE"].as<double>(), 0.0);
  EXPECT_EQ(vm["MODELS.NUMBER"].as<int>(), 2);
  EXPECT_EQ(vm["MODELS.MODEL_0_GROUNDTRUTH"].as<std::string>(), "gt/m0.txt");
  // Quotes are kept as written; the loaders remove them.
  EXPECT_EQ(vm["MODELS.MODEL_1"].as<std::string>(), "\"models/m1.ply\"");
  EXPECT_EQ(vm.count("MODELS.MODEL_2"), 0u);  // beyond NUMBER: skipped silently
}

TEST(ParseOptions, ShortNoiseOption) {
  TempDir dir;
  std::vector<std::string> args = runArgs(dir.write("t.ini", kTwoModels));
  args.insert(args.end(), {"-n", "0.05", "-t", "2"});
  ParseResult result = parse(args);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.vm["sigmaSceneNoise"].as<double>(), 0.05);
  EXPECT_EQ(result.vm["repeatabilityTh"].as<double>(), 2.0);
}

TEST(ParseOptions, HelpListingIsPrintedBeforeTheConfigurationIsLookedAt) {
  ParseResult result = parse({"--help", "-C", "does-not-exist.ini", "-r", "4"});
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.out.rfind("Command line options:\n", 0), 0u) << result.out;
  EXPECT_NE(result.out.find("-n [ --sigmaSceneNoise ] arg (=0.10000000000000001)"),
            std::string::npos);
  EXPECT_NE(result.out.find("-r [ --radius ] arg (=-1)"), std::string::npos);
  EXPECT_NE(result.out.find("--normals arg (=V)"), std::string::npos);
  EXPECT_NE(result.out.find("-t [ --repeatabilityTh ] arg (=1)"), std::string::npos);
  EXPECT_NE(result.out.find("--detectorID arg (=YourDetectorName)"), std::string::npos);
  EXPECT_NE(result.out.find("--maxVertexesInDataset arg (=-1)"), std::string::npos);
  EXPECT_EQ(result.out.find("Test Configuration"), std::string::npos);
  EXPECT_EQ(result.out.find("Problems opening"), std::string::npos);
  EXPECT_EQ(result.out.substr(result.out.size() - 2), "\n\n");
}

TEST(ParseOptions, MissingConfigFileOptionPrintsUsage) {
  ParseResult result = parse({"-S", "feats", "-O", "out", "--detectorID", "DET"});
  EXPECT_FALSE(result.ok);
  const std::string head =
      "Path to config file storing test configuration is missing on the command line\n"
      "Usage::\nCommand line options:\n";
  EXPECT_EQ(result.out.substr(0, head.size()), head);
  EXPECT_EQ(result.out.substr(result.out.size() - 2), "\n\n");
}

// Failures that print one fixed text.
TEST(ParseOptions, FailuresPrintTheirMessage) {
  TempDir dir;
  struct Case {
    const char* name;
    std::string config;  // content of t.ini, or "" for no file at all
    std::vector<std::string> extraArgs;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"missing file", "", {}, "Problems opening config file CONFIG\n"},
      {"unknown option", kTwoModels, {"--bogus"}, "unrecognised option '--bogus'"},
      {"config key on command line",
       kTwoModels,
       {"--SCENE.PATH", "x"},
       "unrecognised option '--SCENE.PATH'"},
      {"missing value",
       kTwoModels,
       {"-r"},
       "the required argument for option '--radius' is missing"},
      {"malformed value",
       kTwoModels,
       {"-r", "six"},
       "the argument ('six') for option '--radius' is invalid"},
      {"key twice",
       "[SCENE]\nPATH = a.ply\nPATH = b.ply\n[MODELS]\nNUMBER = 0\n",
       {},
       "option 'SCENE.PATH' cannot be specified more than once"},
      {"not a setting",
       "[SCENE]\nPATH a.ply\n",
       {},
       "the options configuration file contains an invalid line 'PATH a.ply'"},
      {"wrong type",
       "[MODELS]\nNUMBER = two\n",
       {},
       "the argument ('two') for option 'MODELS.NUMBER' is invalid"},
      {"no number",
       "[SCENE]\nPATH = a.ply\n",
       {},
       "Missing key \"MODELS.NUMBER\" in config file CONFIG\n"},
      {"no scene",
       "[MODELS]\nNUMBER = 0\n",
       {},
       "Missing key \"SCENE.PATH\" in config file CONFIG\n"},
      {"no model key",
       "[SCENE]\nPATH = a.ply\n[MODELS]\nNUMBER = 1\nMODEL_0_GROUNDTRUTH = g\n",
       {},
       "Missing key \"MODELS.MODEL_0\" in config file CONFIG\n"},
      {"no ground truth key",
       "[SCENE]\nPATH = a.ply\n[MODELS]\nNUMBER = 1\nMODEL_0 = m.ply\n",
       {},
       "Missing key \"MODELS.MODEL_0_GROUNDTRUTH\" in config file CONFIG\n"},
      {"placeholder in a command-line value",
       kTwoModels,
       {"-r", "%value%"},
       "invalid command line: it holds a %...% placeholder such as %value%\n"},
      {"placeholder in a configuration value",
       "[MODELS]\nNUMBER = %value%\n",
       {},
       "invalid config file CONFIG: it holds a %...% placeholder such as %value%\n"},
      {"placeholder in an invalid line",
       "[SCENE]\n%invalid_line%\n",
       {},
       "invalid config file CONFIG: it holds a %...% placeholder such as %value%\n"},
      {"huge model count",
       "[SCENE]\nPATH = a.ply\n[MODELS]\nNUMBER = 2000000000\n",
       {},
       "Missing key \"MODELS.MODEL_0\" in config file CONFIG\n"},
  };
  for (const Case& c : cases) {
    const std::string config =
        c.config.empty() ? dir.file("none.ini") : dir.write("t.ini", c.config);
    std::vector<std::string> args = runArgs(config);
    args.insert(args.end(), c.extraArgs.begin(), c.extraArgs.end());
    ParseResult result = parse(args);
    std::string expected = c.expected;
    const std::size_t at = expected.find("CONFIG");
    if (at != std::string::npos) expected.replace(at, 6, config);
    EXPECT_FALSE(result.ok) << c.name;
    EXPECT_EQ(result.out, expected) << c.name;
  }
}

TEST(ParseOptions, MissingDirectoriesOnTheCommandLine) {
  TempDir dir;
  const std::string config = dir.write("t.ini", kTwoModels);
  ParseResult noSaving = parse({"-C", config, "-O", "out"});
  EXPECT_FALSE(noSaving.ok);
  EXPECT_EQ(noSaving.out, "Missing option --savingPath on the command line\n");
  ParseResult noOutput = parse({"-C", config, "-S", "feats"});
  EXPECT_FALSE(noOutput.ok);
  EXPECT_EQ(noOutput.out, "Missing option --outputPath on the command line\n");
}

TEST(ParseOptions, ModelKeysFollowTheNumberOfModels) {
  TempDir dir;
  struct Case {
    std::string number;
    int registered;
  };
  for (const Case& c : std::vector<Case>{{"0", 0}, {"-3", 0}, {"1", 1}, {"2", 2}}) {
    const std::string config =
        dir.write("t.ini", "[SCENE]\nPATH = s.ply\n[MODELS]\nNUMBER = " + c.number +
                               "\nMODEL_0 = a.ply\nMODEL_0_GROUNDTRUTH = a.txt\n"
                               "MODEL_1 = b.ply\nMODEL_1_GROUNDTRUTH = b.txt\n");
    ParseResult result = parse(runArgs(config));
    ASSERT_TRUE(result.ok) << c.number << ": " << result.out;
    int stored = 0;
    for (const char* key : {"MODELS.MODEL_0", "MODELS.MODEL_0_GROUNDTRUTH", "MODELS.MODEL_1",
                            "MODELS.MODEL_1_GROUNDTRUTH"}) {
      stored += static_cast<int>(result.vm.count(key));
    }
    EXPECT_EQ(stored, 2 * c.registered) << c.number;
  }
}

TEST(ParseOptions, PrefixedNamesBeforeAnySectionAndComments) {
  TempDir dir;
  const std::string config =
      dir.write("t.ini",
                "# comment\n\nSCENE.PATH = s.ply   # trailing comment\nMODELS.NUMBER=1\n"
                "[MODELS]\n  MODEL_0   =   m.ply  \nMODEL_0_GROUNDTRUTH = g.txt\n");
  ParseResult result = parse(runArgs(config));
  ASSERT_TRUE(result.ok) << result.out;
  EXPECT_EQ(result.vm["SCENE.PATH"].as<std::string>(), "s.ply");
  EXPECT_EQ(result.vm["MODELS.MODEL_0"].as<std::string>(), "m.ply");
}

}  // namespace
