#include "prepare/gaussian_noise.h"

#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <cmath>

namespace Ostrel {
namespace Prepare {

double portableLog(double x) {
  int exponent = 0;
  double m = std::frexp(x, &exponent);  // exact: x = m * 2^exponent, m in [0.5, 1)
  if (m < 0.70710678118654752440) {     // sqrt(1/2)
    m *= 2.0;
    --exponent;
  }
  const double t = (m - 1.0) / (m + 1.0);  // |t| <= 0.1716
  const double t2 = t * t;
  // atanh(t) = t (1 + t^2/3 + t^4/5 + ...); 14 terms leave less than 1e-21 behind.
  double sum = 0.0;
  for (int k = 27; k >= 1; k -= 2) sum = sum * t2 + 1.0 / k;
  const double ln2 = 0.693147180559945309417232121458;
  return exponent * ln2 + 2.0 * t * sum;
}

double GaussianSource::next() {
  if (hasSpare_) {
    hasSpare_ = false;
    return spare_;
  }
  const double scale = 1.0 / 9007199254740992.0;  // 2^-53
  double u = 0.0, v = 0.0, s = 0.0;
  do {
    u = 2.0 * static_cast<double>(bits_() >> 11) * scale - 1.0;
    v = 2.0 * static_cast<double>(bits_() >> 11) * scale - 1.0;
    s = u * u + v * v;
  } while (s >= 1.0 || s == 0.0);
  const double factor = std::sqrt(-2.0 * portableLog(s) / s);
  spare_ = v * factor;
  hasSpare_ = true;
  return u * factor;
}

void addGaussianNoise(vtkPolyData* mesh, double sigma, std::uint64_t seed) {
  if (mesh == nullptr || mesh->GetPoints() == nullptr) return;
  vtkPoints* points = mesh->GetPoints();
  GaussianSource source(seed);
  for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i) {
    double p[3];
    points->GetPoint(i, p);
    for (double& coordinate : p) coordinate += sigma * source.next();
    points->SetPoint(i, p);
  }
  points->Modified();
}

}  // namespace Prepare
}  // namespace Ostrel
