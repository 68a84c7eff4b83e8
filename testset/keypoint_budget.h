#pragma once
// Equal keypoint budgets: a detector compared with another at the same density keeps only its
// most salient keypoints. The budget `keep` is in keypoints per 1,000 vertices of the cleaned
// mesh, so a scene (several models and clutter) and each model are thinned alike.

#include <cstddef>
#include <string>
#include <vector>

#include "testers/feature3d.h"

namespace Ostrel {
namespace TestSet {

// k = ceil(keep * vertices / 1000), at least 1, for `keep` > 0 keypoints per 1,000 vertices.
std::size_t budgetCount(double keep, long long vertices);

// Keeps the `count` keypoints of highest score (all of them when there are no more), in their
// order in `keypoints`; among equal scores the earlier ones are kept. NaN scores rank last.
void keepHighestScored(std::vector<LocalFeatures::Impl::Feature3D>& keypoints, std::size_t count);

// Reads a budget, a number > 0 of keypoints per 1,000 vertices, into `budget` written as detector
// IDs carry it (as noise levels are written: "5", "2.5"). Returns "" or the problem, quoting
// `text`.
std::string parseBudget(const std::string& text, std::string& budget);

// The detector ID of a budgeted setting: "<detectorID>_keep-<keep>" (the budget written as
// option values are, "ISS3D_keep-5", "ISS3D_keep-2.5").
std::string budgetedDetectorID(const std::string& detectorID, const std::string& keep);

}  // namespace TestSet
}  // namespace Ostrel
