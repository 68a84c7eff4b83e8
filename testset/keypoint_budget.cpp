#include "testset/keypoint_budget.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "cli/numbers.h"
#include "testset/naming.h"

namespace Ostrel {
namespace TestSet {

using LocalFeatures::Impl::Feature3D;

std::size_t budgetCount(double keep, long long vertices) {
  const double count = std::ceil(keep * static_cast<double>(vertices) / 1000.0);
  return count < 1.0 ? 1 : static_cast<std::size_t>(count);
}

void keepHighestScored(std::vector<Feature3D>& keypoints, std::size_t count) {
  if (keypoints.size() <= count) return;
  std::vector<std::size_t> order(keypoints.size());
  std::iota(order.begin(), order.end(), 0);
  const auto ranksBefore = [&keypoints](std::size_t a, std::size_t b) {
    const float sa = keypoints[a].score, sb = keypoints[b].score;
    if (std::isnan(sa) || std::isnan(sb)) return !std::isnan(sa) && std::isnan(sb);
    return sa > sb;
  };
  std::stable_sort(order.begin(), order.end(), ranksBefore);
  order.resize(count);
  std::sort(order.begin(), order.end());
  std::vector<Feature3D> kept;
  kept.reserve(count);
  for (const std::size_t i : order) kept.push_back(keypoints[i]);
  keypoints.swap(kept);
}

std::string parseBudget(const std::string& text, std::string& budget) {
  double keep = 0.0;
  if (!Cli::parseFiniteNumber(text, keep) || !(keep > 0.0))
    return "a budget is a number > 0 of keypoints per 1,000 vertices, not '" + text + "'";
  budget = noiseLevelName(keep);
  return "";
}

std::string budgetedDetectorID(const std::string& detectorID, const std::string& keep) {
  return detectorID + "_keep-" + keep;
}

}  // namespace TestSet
}  // namespace Ostrel
