#pragma once
// Numbers in command lines and configuration values: the whole text, in the "C" locale, a
// finite value ("0.1", "1e-6"; not "0.1x", "nan", "inf", "").

#include <string>

namespace Ostrel {
namespace Cli {

// True, with `value` set, when `text` is a finite number and nothing else.
bool parseFiniteNumber(const std::string& text, double& value);

}  // namespace Cli
}  // namespace Ostrel
