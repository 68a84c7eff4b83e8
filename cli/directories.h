#pragma once
// Output directories of the tools: made with the permissions mkdir(1) gives, those the umask
// leaves of 0777.

#include <string>

namespace Ostrel {
namespace Cli {

// Makes `directory` and every missing directory on the way to it. Returns "" when it is a
// directory afterwards, else "cannot create the directory <directory>: <reason>".
std::string makeDirectories(const std::string& directory);

// Makes the directories on the way to the file `path` (its own name excepted), as above.
std::string makeParentDirectories(const std::string& path);

}  // namespace Cli
}  // namespace Ostrel
