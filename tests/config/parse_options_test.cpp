#include "config/parse_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_process.h"
#include "support/temp_dir.h"

namespace po = boost::program_options;

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
  result.out = ardentis_test::capture([&] {
                 result.ok = parseOptions(static_cast<int>(argv.size()), argv.data(), result.vm);
               }).out;
  return result;
}

const char* kTwoModels =
    "# a test\n[SCENE]\nPATH = scenes/s1.ply\nGT_THRESHOLD = 2.0\n[MODELS]\nNUMBER = 2\n"
    "MODEL_0 = models/m0.ply\nMODEL_0_GROUNDTRUTH = gt/m0.txt   # pose of m0\n"
    "MODEL_1 = \"models/m1.ply\"\nMODEL_1_GROUNDTRUTH = gt/m1.txt\nMODEL_2 = models/m2.ply\n";

std::vector<std::string> runArgs(const std::string& config, std::vector<std::string> extra = {}) {
  extra.insert(extra.begin(), {"-C", config, "-S", "feats", "-O", "out", "--detectorID", "DET"});
  return extra;
}

TEST(ParseOptions, DefaultsShortFormsAndConfigurationValues) {
  ardentis_test::TempDir dir;
  const std::string config = dir.write("t.ini", kTwoModels);
  ParseResult result = parse(runArgs(config));
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
  ParseResult custom = parse(runArgs(config, {"-r", "6", "-n", "0.05", "-t", "2"}));
  EXPECT_EQ(custom.vm["radius"].as<int>(), 6);
  EXPECT_EQ(custom.vm["sigmaSceneNoise"].as<double>(), 0.05);
  EXPECT_EQ(custom.vm["repeatabilityTh"].as<double>(), 2.0);
  // Keys may carry their section; NUMBER 0 or below registers no model keys.
  for (const auto& [number, registered] :
       std::vector<std::pair<std::string, size_t>>{{"0", 0}, {"-3", 0}, {"1", 1}}) {
    ParseResult sections = parse(runArgs(dir.write(
        "s.ini", "SCENE.PATH = s.ply\nMODELS.NUMBER=" + number +
                     "\n[MODELS]\n  MODEL_0   =   a.ply  \nMODEL_0_GROUNDTRUTH = a.txt\n")));
    ASSERT_TRUE(sections.ok) << number << ": " << sections.out;
    EXPECT_EQ(sections.vm["SCENE.PATH"].as<std::string>(), "s.ply");
    EXPECT_EQ(sections.vm.count("MODELS.MODEL_0") + sections.vm.count("MODELS.MODEL_0_GROUNDTRUTH"),
              2 * registered);
  }
}

TEST(ParseOptions, HelpAndUsageListings) {
  ParseResult help = parse({"--help", "-C", "does-not-exist.ini", "-r", "4"});
  EXPECT_FALSE(help.ok);
  EXPECT_EQ(help.out.rfind("Command line options:\n", 0), 0u) << help.out;
  for (const char* line :
       {"-n [ --sigmaSceneNoise ] arg (=0.10000000000000001)", "-r [ --radius ] arg (=-1)",
        "--normals arg (=V)", "-t [ --repeatabilityTh ] arg (=1)",
        "--detectorID arg (=YourDetectorName)", "--maxVertexesInDataset arg (=-1)"}) {
    EXPECT_NE(help.out.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(help.out.find("Problems opening"), std::string::npos);
  EXPECT_EQ(help.out.substr(help.out.size() - 2), "\n\n");
  ParseResult usage = parse({"-S", "feats", "-O", "out", "--detectorID", "DET"});
  EXPECT_FALSE(usage.ok);
  EXPECT_EQ(usage.out.rfind("Path to config file storing test configuration is missing on the "
                            "command line\nUsage::\nCommand line options:\n",
                            0),
            0u);
  EXPECT_EQ(usage.out.substr(usage.out.size() - 2), "\n\n");
}

// Failures that print one fixed text.
TEST(ParseOptions, FailuresPrintTheirMessage) {
  ardentis_test::TempDir dir;
  const std::string noModels = "[SCENE]\nPATH = a.ply\n[MODELS]\n";
  const struct {
    std::string config;  // content of t.ini, or "" for no file at all
    std::vector<std::string> extraArgs;
    std::string expected;
  } cases[] = {
      {"", {}, "Problems opening config file CONFIG\n"},
      {kTwoModels, {"--SCENE.PATH", "x"}, "unrecognised option '--SCENE.PATH'"},
      {"[SCENE]\nPATH = a.ply\nPATH = b.ply\n[MODELS]\nNUMBER = 0\n",
       {},
       "option 'SCENE.PATH' cannot be specified more than once"},
      {"[SCENE]\nPATH = a.ply\n", {}, "Missing key \"MODELS.NUMBER\" in config file CONFIG\n"},
      {"[MODELS]\nNUMBER = 0\n", {}, "Missing key \"SCENE.PATH\" in config file CONFIG\n"},
      {noModels + "NUMBER = 1\nMODEL_0_GROUNDTRUTH = g\n",
       {},
       "Missing key \"MODELS.MODEL_0\" in config file CONFIG\n"},
      {noModels + "NUMBER = 1\nMODEL_0 = m.ply\n",
       {},
       "Missing key \"MODELS.MODEL_0_GROUNDTRUTH\" in config file CONFIG\n"},
      {noModels + "NUMBER = 2000000000\n",
       {},
       "Missing key \"MODELS.MODEL_0\" in config file CONFIG\n"},
      {kTwoModels,
       {"-r", "%value%"},
       "invalid command line: it holds a %...% placeholder such as %value%\n"},
      {"[MODELS]\nNUMBER = %value%\n",
       {},
       "invalid config file CONFIG: it holds a %...% placeholder such as %value%\n"},
      {"[SCENE]\n%invalid_line%\n",
       {},
       "invalid config file CONFIG: it holds a %...% placeholder such as %value%\n"},
  };
  for (const auto& c : cases) {
    const std::string config =
        c.config.empty() ? dir.file("none.ini") : dir.write("t.ini", c.config);
    ParseResult result = parse(runArgs(config, c.extraArgs));
    std::string expected = c.expected;
    const size_t at = expected.find("CONFIG");
    if (at != std::string::npos) expected.replace(at, 6, config);
    EXPECT_FALSE(result.ok) << expected;
    EXPECT_EQ(result.out, expected);
  }
  const std::string config = dir.write("t.ini", kTwoModels);
  EXPECT_EQ(parse({"-C", config, "-O", "out"}).out,
            "Missing option --savingPath on the command line\n");
  EXPECT_EQ(parse({"-C", config, "-S", "feats"}).out,
            "Missing option --outputPath on the command line\n");
}

}  // namespace
