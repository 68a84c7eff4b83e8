#pragma once
// Intrinsic Shape Signatures keypoints, computed to give exactly the keypoints of PCL's
// ISSKeypoint3D (kd-tree search, no border radius, no normals) in less time.
//
// Input: the points (x y z triples, in model units, all finite), the salient and non-maximum
// radii in the same units, the eigenvalue ratio thresholds gamma21 and gamma32, the fewest
// neighbours a point needs, and the threads to use. Output: `keypoints` (caller-owned,
// replaced) holds the indices of the keypoints in increasing order and `saliency` (resized to
// one value per point) the third eigenvalue of each point that passes the ratio tests, else 0.
//
// How it matches PCL: neighbours are found with a uniform grid instead of a kd-tree, but they
// are the same (same float squared distances, same strict "< radius^2" test) and are summed in
// the order PCL's sorted kd-tree search gives them (by distance, then index), so each scatter
// matrix, eigenvalue and comparison is PCL's to the last bit. What is saved is PCL's per-query
// tree walk and allocations. Where PCL reads memory it never wrote (a negative third
// eigenvalue), the point is not a keypoint.

#include <vector>

namespace Ostrel {
namespace Detect {

struct ISSParameters {
  double salientRadius;
  double nonMaxRadius;
  double gamma21;
  double gamma32;
  int minNeighbors;
  unsigned threads;
};

void issKeypoints(const std::vector<float>& xyz, const ISSParameters& parameters,
                  std::vector<int>& keypoints, std::vector<double>& saliency);

}  // namespace Detect
}  // namespace Ostrel
