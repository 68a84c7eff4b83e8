#pragma once
// The one way the tools report a problem: "<tool>: <message>" on standard error, after standard
// output is flushed so that the message follows what the tool printed before it.

#include <string>

namespace Ostrel {
namespace Cli {

// `tool` is the name the user typed ("ardentis-detect", "ardentis-prepare noise").
void printError(const std::string& tool, const std::string& message);

// "<tool>: warning: <message>": something the user should know, the work goes on.
void printWarning(const std::string& tool, const std::string& message);

}  // namespace Cli
}  // namespace Ostrel
