#include "config/parse_options.h"

#include <gtest/gtest.h>

#include "support/run_process.h"
#include "support/temp_dir.h"

namespace {

struct ParseResult {
  bool ok = false;
  std::string out;
  boost::program_options::variables_map vm;
};

// Parses `ardentis [-C config] -S feats -O out extra`; `common` false leaves out -S and -O.
ParseResult parse(const std::string& config, std::vector<std::string> extra = {},
                  bool common = true) {
  std::vector<std::string> args = {"ardentis", "-C", config, "-S", "feats", "-O", "out"};
  if (!common) args.resize(3);
  if (config.empty()) args.erase(args.begin() + 1, args.begin() + 3);
  args.insert(args.end(), extra.begin(), extra.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  ParseResult r;
  r.out =
      ardentis_test::capture([&] { r.ok = parseOptions(int(argv.size()), argv.data(), r.vm); }).out;
  return r;
}

const char* kTwoModels =
    "# a test\n[SCENE]\nPATH = scenes/s1.ply\nGT_THRESHOLD = 2.0\n[MODELS]\nNUMBER = 2\n"
    "MODEL_0 = models/m0.ply\nMODEL_0_GROUNDTRUTH = gt/m0.txt   # pose of m0\n"
    "MODEL_1 = \"models/m1.ply\"\nMODEL_1_GROUNDTRUTH = gt/m1.txt\nMODEL_2 = models/m2.ply\n";

TEST(ParseOptions, DefaultsAndConfigurationValues) {
  ardentis_test::TempDir dir;
  ParseResult r = parse(dir.write("t.ini", kTwoModels));
  ASSERT_TRUE(r.ok) << r.out;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.vm["repeatabilityTh"].as<double>(), 1.0);
  EXPECT_EQ(r.vm.count("MODELS.MODEL_2"), 0u);  // beyond NUMBER: skipped silently
}

// Refusals print their text, CONFIG standing for the file's path; usage texts up to the options.
TEST(ParseOptions, FailuresPrintTheirMessage) {
  ardentis_test::TempDir dir;
  const std::string noModels = "[SCENE]\nPATH = a.ply\n[MODELS]\n";
  const std::string placeholder = "it holds a %...% placeholder such as %value%\n";
  const struct {
    std::string config;  // content of t.ini, "" for no file at all, "-" for no -C
    std::vector<std::string> extraArgs;
    std::string expected;
    bool common = true;
  } cases[] = {
      // clang-format off
      {"[SCENE]\nPATH = a.ply\n", {}, "Missing key \"MODELS.NUMBER\" in config file CONFIG\n"},
      {"[MODELS]\nNUMBER = 0\n", {}, "Missing key \"SCENE.PATH\" in config file CONFIG\n"},
      {noModels + "NUMBER = 1\nMODEL_0_GROUNDTRUTH = g\n", {}, "Missing key \"MODELS.MODEL_0\" in config file CONFIG\n"},
      {noModels + "NUMBER = 1\nMODEL_0 = m.ply\n", {}, "Missing key \"MODELS.MODEL_0_GROUNDTRUTH\" in config file CONFIG\n"},
      {noModels + "NUMBER = 2000000000\n", {}, "Missing key \"MODELS.MODEL_0\" in config file CONFIG\n"},
      {kTwoModels, {"-r", "%value%"}, "invalid command line: " + placeholder},
      {"[MODELS]\nNUMBER = %value%\n", {}, "invalid config file CONFIG: " + placeholder},
      {"[SCENE]\n%invalid_line%\n", {}, "invalid config file CONFIG: " + placeholder},
      {kTwoModels, {"-O", "out"}, "Missing option --savingPath on the command line\n", false},
      {kTwoModels, {"-S", "feats"}, "Missing option --outputPath on the command line\n", false},
      {"-", {}, "Path to config file storing test configuration is missing on the command line\nUsage::\nCommand line options:\n"},
      {"", {"--help"}, "Command line options:\n"},
      // clang-format on
  };
  for (const auto& c : cases) {
    const std::string config = c.config == "-"    ? ""
                               : c.config.empty() ? dir.file("none.ini")
                                                  : dir.write("t.ini", c.config);
    ParseResult r = parse(config, c.extraArgs, c.common);
    std::string expected = c.expected;
    if (expected.find("CONFIG") != std::string::npos)
      expected.replace(expected.find("CONFIG"), 6, config);
    EXPECT_FALSE(r.ok) << expected;
    EXPECT_EQ(
        expected.find("options:\n") == std::string::npos ? r.out : r.out.substr(0, expected.size()),
        expected);
  }
}

}  // namespace
