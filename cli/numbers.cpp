#include "cli/numbers.h"

#include <cmath>
#include <locale>
#include <sstream>

namespace Ostrel {
namespace Cli {

bool parseFiniteNumber(const std::string& text, double& value) {
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  double number = 0.0;
  in >> number;
  if (text.empty() || !in || in.peek() != std::char_traits<char>::eof() || !std::isfinite(number))
    return false;
  value = number;
  return true;
}

}  // namespace Cli
}  // namespace Ostrel
