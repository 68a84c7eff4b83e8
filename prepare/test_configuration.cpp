#include "prepare/test_configuration.h"

#include <boost/program_options.hpp>
#include <fstream>
#include <map>
#include <sstream>

#include "config/config_keys.h"
#include "config/message_placeholder.h"

namespace po = boost::program_options;

namespace Ostrel {
namespace Prepare {
namespace {

// Every key of the file with its first value, read by the same parser as the evaluator's.
std::string ReadKeys(const std::string& text, std::map<std::string, std::string>& keys) {
  std::istringstream file(text);
  try {
    const po::parsed_options parsed = po::parse_config_file(file, po::options_description(), true);
    for (const po::option& option : parsed.options) {
      if (!option.value.empty()) keys.emplace(option.string_key, option.value[0]);
    }
  } catch (const std::exception& error) {
    // The library's message would never finish building on such text.
    if (holdsMessagePlaceholder(text)) return "it holds a %...% placeholder such as %value%";
    return error.what();
  }
  return "";
}

}  // namespace

std::string ReadTestConfiguration(const std::string& path, TestConfiguration& configuration) {
  std::ifstream file(path);
  if (!file.is_open()) return path + ": cannot open the test configuration";
  std::ostringstream text;
  text << file.rdbuf();
  std::map<std::string, std::string> keys;
  const std::string problem = ReadKeys(text.str(), keys);
  if (!problem.empty()) return path + ": " + problem;
  if (!keys.count("SCENE.PATH")) return path + ": no SCENE.PATH";
  configuration.scenePath = keys["SCENE.PATH"];
  int number = 0;
  if (keys.count("MODELS.NUMBER")) {
    try {
      number = std::stoi(keys["MODELS.NUMBER"]);
    } catch (const std::exception&) {
      return path + ": MODELS.NUMBER is not a number";
    }
  }
  for (int i = 0; i < number; ++i) {
    const std::string key = modelKey(i);
    if (!keys.count(key)) return path + ": no " + key;
    configuration.modelPaths.push_back(keys[key]);
  }
  return "";
}

}  // namespace Prepare
}  // namespace Ostrel
