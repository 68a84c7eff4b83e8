#pragma once
// Gaussian noise that every machine draws alike. The uniform bits come from std::mt19937_64,
// whose sequence the C++ standard fixes; the normal deviates come from Marsaglia's polar method
// written here (std::normal_distribution differs between standard libraries):
//
//   repeat: u = 2a - 1, v = 2b - 1 with a, b the top 53 bits of two draws scaled to [0, 1),
//           s = u^2 + v^2, until 0 < s < 1;
//   then u * f and v * f, in this order, with f = sqrt(-2 ln(s) / s).
//
// ln is computed from IEEE basic operations only (see PortableLog), since C libraries, and
// glibc's run-time choice between FMA and non-FMA code, may differ in the last bit of std::log.

#include <cstdint>
#include <random>

class vtkPolyData;

namespace Ostrel {
namespace Prepare {

// Natural logarithm of a finite x > 0, to within a few ulps, bit-identical on every IEEE 754
// machine: x = m * 2^e with m in [sqrt(1/2), sqrt(2)), ln m = 2 atanh((m - 1) / (m + 1)) by its
// series.
double portableLog(double x);

// Standard normal deviates (mean 0, deviation 1) from a seed, by the method above.
class GaussianSource {
 public:
  explicit GaussianSource(std::uint64_t seed) : bits_(seed) {}
  double next();

 private:
  std::mt19937_64 bits_;
  double spare_ = 0.0;
  bool hasSpare_ = false;
};

// Adds to every point coordinate of `mesh`, point by point and x, y, z in turn, an independent
// Gaussian displacement of deviation `sigma` (in the mesh's units) drawn from a GaussianSource
// seeded with `seed`. The sums are made in double precision and stored in the mesh's own point
// type. Cells, point order and point data are kept. Null mesh: no-op.
void addGaussianNoise(vtkPolyData* mesh, double sigma, std::uint64_t seed);

}  // namespace Prepare
}  // namespace Ostrel
