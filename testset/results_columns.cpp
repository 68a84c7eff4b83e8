#include "testset/results_columns.h"

namespace Ostrel {
namespace TestSet {

const std::vector<std::string>& resultsTableColumns() {
  static const std::vector<std::string> columns = {"",
                                                   "Sigma noise",
                                                   "Radius",
                                                   "Repeatable Keypoints",
                                                   "TotScaleRepeatability",
                                                   "RepeatabilityTh",
                                                   "Model Keypoints",
                                                   "Non-occluded Keypoints",
                                                   "Scene Keypoints",
                                                   "Scene Name"};
  return columns;
}

std::string resultsTableHeader() {
  std::string header;
  for (const std::string& column : resultsTableColumns()) {
    if (&column != &resultsTableColumns().front()) header += ";";
    header += column;
  }
  return header + "\n";
}

}  // namespace TestSet
}  // namespace Ostrel
