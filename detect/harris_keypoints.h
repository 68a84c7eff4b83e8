#pragma once
// Harris 3D keypoints, computed to give exactly the keypoints and responses of PCL's
// HarrisKeypoint3D (sorted kd-tree search, normals from NormalEstimation at the same radius,
// non-maximum suppression on, refinement off) in less time.
//
// Input: the points (x y z triples, in model units, all finite), the radius in the same units,
// the response method, the smallest response kept and the threads to use. Output: `keypoints`
// (caller-owned, replaced) holds the indices of the keypoints in increasing order and `response`
// (resized to one value per point) each point's response.
//
// How it matches PCL: the searches are NeighbourGrid's (PCL's neighbours in PCL's order) and the
// per-point math is PCL's own or written as PCL writes it (the normals' covariance summed in
// float in neighbour order, then divided by the count), so every response is PCL's to the last
// bit. PCL searches the normals with the radius as given and the response and suppression with
// the radius rounded to float; both neighbour lists come from one sorted search (the shorter
// list is a prefix of the longer). The normals are computed once and serve both the covariance
// and the curvature method. PCL pushes keypoints in an order that depends on its threads; the
// indices here are sorted.

#include <vector>

namespace Ostrel {
namespace Detect {

enum class HarrisMethod { Harris, Noble, Lowe, Tomasi, Curvature };

struct HarrisParameters {
  double radius;  // of the normals, the response and the non-maximum suppression
  HarrisMethod method;
  float threshold;  // smallest response a keypoint may have
  unsigned threads;
};

void harrisKeypoints(const std::vector<float>& xyz, const HarrisParameters& parameters,
                     std::vector<int>& keypoints, std::vector<float>& response);

}  // namespace Detect
}  // namespace Ostrel
