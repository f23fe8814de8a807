#include "models/uniform_disk.hpp"

namespace mirlaxon::models {

ModelResult<Samples> witt_mao_magnification(std::span<const double> l, double re, double rstar) {
  Samples result;
  if (l.empty()) return result;
  const UniformDisk disk(rstar / re);
  result.reserve(l.size());
  for (const double separation : l) {
    const ellip::KernelResult a = disk.at(disk.rho() * separation);
    if (!a) return std::unexpected(ModelError::kernel(a.error()));
    result.push_back(*a);
  }
  return result;
}

}  // namespace mirlaxon::models
