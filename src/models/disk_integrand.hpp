// The integrand of the uniform-disk family's source integrals.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>

#include "constants.hpp"
#include "ellip/bulirsch.hpp"
#include "models/disk.hpp"
#include "numdiff/central_difference.hpp"

namespace mirlaxon::models {

// A borrowed, type-erased brightness r ↦ B(r): a pointer to the caller's
// profile and its call. It lives no longer than the call it is made for.
class BrightnessProfile {
 public:
  template <class Profile>
  BrightnessProfile(const Profile& profile)  // NOLINT(google-explicit-constructor)
      : data_(&profile), call_([](const void* data, double r) { return (*static_cast<const Profile*>(data))(r); }) {}
  template <class Profile>
  BrightnessProfile(const Profile&& profile) = delete;  // would dangle

  double operator()(double r) const { return call_(data_, r); }

 private:
  const void* data_;
  double (*call_)(const void*, double);
};

// 2πr·(F(r) + (r/2)·F′(r))·B(r) = π·(r²F)′(r)·B(r), with the derivative of
// G(y) = y²·F(y) taken as the central difference (G(r + h) − G(r − h))/2h.
// Differencing r²F rather than F keeps the difference exact to O(h²) down to
// r = 0: with the lens at the centre F grows as 1/r, which a step of
// h ≈ 6e-6 cannot follow below r ≈ h (it cost 1e-5 of the result), while
// r²F is smooth.
//
// The stencil reaches past both ends of the source, and there G is continued
// by point reflection: G(−y) = −G(y) and G(1 + y) = 2G(1) − G(1 − y). The
// differences then telescope to the exact end values, ∫₀¹ D dr = G(1) − G(0)
// for any G, instead of to the averages of G over the stencil, which differ
// from them by h²G″/6: with the lens just outside the limb, at 1 + δ, G″ is of
// order 1/δ and that cost 7e-7 of the result at δ = 1e-6.
//
// One point at a time or a quadrature level at once: the batch gathers the
// stencil's disks for every point.
struct DiskIntegrand {
  DiskIntegrand(const DisksAtSeparation& disks, BrightnessProfile profile)
      : disks(disks), profile(profile), g_at_limb(disks.at(1.0)) {}

  DisksAtSeparation disks;
  BrightnessProfile profile;
  double g_at_limb;  // G(1) = F(1)

  // The radius inside [0, 1] whose disk gives G(y).
  static double folded(double y) { return y < 0.0 ? -y : (y > 1.0 ? 2.0 - y : y); }

  // G(y) from F at folded(y).
  double g_from_disk(double y, double disk) const {
    const double radius = folded(y);
    const double g = radius > 0.0 ? (radius * radius) * disk : 0.0;
    return y < 0.0 ? -g : (y > 1.0 ? (g_at_limb + g_at_limb) - g : g);
  }

  static double combine(double r, double h, double forward, double backward, double b) {
    if (r < 0.0) return 0.0;
    return (PI * ((forward - backward) / (h + h))) * b;
  }

  double operator()(double r) const {
    const double h = numdiff::central_difference_step(r);
    const double forward = g_from_disk(r + h, disks.at(folded(r + h)));
    const double backward = g_from_disk(r - h, disks.at(folded(r - h)));
    return combine(r, h, forward, backward, profile(r));
  }

  void evaluate_batch(std::span<const double> r, std::span<double> values) const {
    constexpr std::size_t CHUNK = ellip::bulirsch::BATCH_CHUNK;
    std::array<double, 2 * CHUNK> y, f;
    std::array<double, CHUNK> step;
    for (std::size_t start = 0; start < r.size(); start += CHUNK) {
      const std::size_t count = std::min(CHUNK, r.size() - start);
      for (std::size_t i = 0; i < count; ++i) {
        const double x = r[start + i];
        const double h = numdiff::central_difference_step(x);
        step[i] = h;
        y[2 * i] = folded(x + h);
        y[2 * i + 1] = folded(x - h);
      }
      disks.at_batch(std::span(y).first(2 * count), std::span(f).first(2 * count));
      for (std::size_t i = 0; i < count; ++i) {
        const double x = r[start + i];
        const double h = step[i];
        values[start + i] = combine(x, h, g_from_disk(x + h, f[2 * i]),
                                    g_from_disk(x - h, f[2 * i + 1]), profile(x));
      }
    }
  }
};

}  // namespace mirlaxon::models
