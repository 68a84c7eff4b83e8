#pragma once
// The tools' version: the project's, as the build configured it, so that every tool and the
// installed package report the same number.

#include <string>

namespace Ostrel {
namespace Cli {

// The project's version ("1.0").
const char* version();

// The line --version prints: the tool's own name (the first word of `tool`, so that
// "ardentis-prepare noise" answers as "ardentis-prepare"), a space and the version; no line end.
std::string versionLine(const std::string& tool);

}  // namespace Cli
}  // namespace Ostrel
