#include "detect/surface_normals.h"

#include <pcl/features/normal_3d.h>

#include <limits>

#include "detect/parallel_for.h"

namespace Ostrel {
namespace Detect {

pcl::PointCloud<pcl::PointXYZ> cloudOf(const std::vector<float>& xyz) {
  pcl::PointCloud<pcl::PointXYZ> cloud;
  cloud.resize(xyz.size() / 3);
  for (std::size_t i = 0; i < cloud.size(); ++i) {
    cloud[i] = pcl::PointXYZ(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]);
  }
  return cloud;
}

void normalFromNeighbours(const pcl::PointCloud<pcl::PointXYZ>& cloud, int index,
                          const pcl::Indices& neighbours, pcl::Normal& normal) {
  Eigen::Vector4f plane;
  if (neighbours.empty() || !pcl::computePointNormal(cloud, neighbours, plane, normal.curvature)) {
    normal.normal_x = normal.normal_y = normal.normal_z = normal.curvature =
        std::numeric_limits<float>::quiet_NaN();
    return;
  }
  normal.normal_x = plane[0];
  normal.normal_y = plane[1];
  normal.normal_z = plane[2];
  // The sensor origin of a cloud made from a mesh: the origin.
  pcl::flipNormalTowardsViewpoint(cloud[index], 0.0f, 0.0f, 0.0f, normal.normal_x, normal.normal_y,
                                  normal.normal_z);
}

void surfaceNormals(const pcl::PointCloud<pcl::PointXYZ>& cloud, const NeighbourGrid& grid,
                    double radius, unsigned threads, pcl::PointCloud<pcl::Normal>& normals) {
  const int n = static_cast<int>(cloud.size());
  const float limit = squaredLimit(radius);
  normals.resize(cloud.size());
  struct Scratch {
    std::vector<Neighbour> found;
    pcl::Indices indices;
  };
  parallelFor<Scratch>(n, 256, threads, [&](int i, unsigned, Scratch& s) {
    grid.within(cloud[i].data, limit, true, s.found);
    indicesOf(s.found, s.indices);
    normalFromNeighbours(cloud, i, s.indices, normals[i]);
  });
}

void indicesOf(const std::vector<Neighbour>& found, pcl::Indices& indices) {
  indices.resize(found.size());
  for (std::size_t k = 0; k < found.size(); ++k) indices[k] = indexOf(found[k]);
}

}  // namespace Detect
}  // namespace Ostrel
