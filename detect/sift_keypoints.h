#pragma once
// SIFT 3D keypoints on the curvature of surface normals, computed to give exactly the keypoints
// of PCL's SIFTKeypoint run on a PointNormal cloud whose normals and curvatures come from
// NormalEstimation (sorted kd-tree radius search), in less time.
//
// Input: the points (x y z triples, in model units, all finite), the radius of the normals and
// the smallest scale in the same units, the octaves, the scales per octave, the smallest
// contrast (a difference of curvatures, no unit) and the threads to use. Output: `keypoints`
// (caller-owned, replaced) in PCL's order (octave by octave, point by point, scale by scale):
// the position (a point of the octave's downsampled cloud), the scale in model units, and the
// absolute difference-of-Gaussians value there, higher for more salient points.
//
// How it matches PCL: the normals are SurfaceNormals', each octave's cloud is PCL's own
// VoxelGrid's, the Gaussian sums run over NeighbourGrid's neighbours in PCL's order with PCL's
// float operations (so every difference of Gaussians is PCL's to the last bit), and the extrema
// are sought among the same 25 nearest neighbours. Where the 25th and 26th nearest lie at the
// same distance, which of them PCL's kd-tree keeps depends on its traversal: those points ask
// a kd-tree built as PCL builds it.

#include <vector>

namespace Ostrel {
namespace Detect {

struct SIFTParameters {
  double normalRadius;
  float minScale;
  int octaves;
  int scalesPerOctave;
  float minContrast;
  unsigned threads;
};

struct SIFTKeypoint {
  float x, y, z;
  float scale;
  float contrast;
};

void siftKeypoints(const std::vector<float>& xyz, const SIFTParameters& parameters,
                   std::vector<SIFTKeypoint>& keypoints);

}  // namespace Detect
}  // namespace Ostrel
