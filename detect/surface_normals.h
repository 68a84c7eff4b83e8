#pragma once
// Surface normals and curvatures of a point set, as PCL's NormalEstimation computes them with a
// sorted kd-tree radius search and the viewpoint at the origin: the same per-point math
// (pcl::computePointNormal, pcl::flipNormalTowardsViewpoint) over the same neighbours in the
// same order, so each value is PCL's to the last bit. The searches are NeighbourGrid's.

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <vector>

#include "detect/neighbour_grid.h"

namespace Ostrel {
namespace Detect {

// The x y z triples (model units) as a PCL cloud, for PCL's per-point functions.
pcl::PointCloud<pcl::PointXYZ> cloudOf(const std::vector<float>& xyz);

// The normal and curvature of point `index` of `cloud` from `neighbours` (indices into `cloud`,
// the query point among them, sorted as PCL's kd-tree gives them; the buffer is reused by the
// caller). Fewer than three neighbours give NaN in all four values, as in PCL.
void normalFromNeighbours(const pcl::PointCloud<pcl::PointXYZ>& cloud, int index,
                          const pcl::Indices& neighbours, pcl::Normal& normal);

// Every point's normal and curvature over its neighbours closer than `radius` (model units),
// found in `grid` (built over the same points). `normals` (caller-owned) is resized to the
// cloud's size. Runs on `threads` threads; the result does not depend on their number.
void surfaceNormals(const pcl::PointCloud<pcl::PointXYZ>& cloud, const NeighbourGrid& grid,
                    double radius, unsigned threads, pcl::PointCloud<pcl::Normal>& normals);

// The indices of `found`, in its order, into `indices` (replaced).
void indicesOf(const std::vector<Neighbour>& found, pcl::Indices& indices);

}  // namespace Detect
}  // namespace Ostrel
