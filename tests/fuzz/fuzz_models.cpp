// libFuzzer target over the kernels and the models. The input picks an
// operation and supplies its doubles, with special values (NaN, ±∞, ±0,
// subnormals, huge and negative numbers) easy to reach. Whatever the input,
// nothing may crash or hit undefined behaviour (the sanitizers watch), and
// every failure must carry one of the fixed texts: a kernel message, or for
// a flux map of mismatched lengths the equality-assertion text. The C
// library's entries must agree with the models they wrap, bit for bit and
// failure for failure, and write nothing on failure.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <span>
#include <string_view>
#include <vector>

#include "binding/c/mirlaxon.h"
#include "ellip/bulirsch.hpp"
#include "ellip/carlson.hpp"
#include "ellip/legendre.hpp"
#include "interp/interp.hpp"
#include "models/disk.hpp"
#include "models/magnifications.hpp"
#include "models/ring.hpp"
#include "numdiff/central_difference.hpp"
#include "quadrature/double_exponential.hpp"

namespace {

namespace carlson = mirlaxon::ellip::carlson;
namespace legendre = mirlaxon::ellip::legendre;
namespace models = mirlaxon::models;

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }

  // A tag byte, then either a special value or eight raw bytes.
  double number() {
    static constexpr double SPECIALS[] = {
        0.0, -0.0, 1.0, -1.0, 0.5, 2.0,
        std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::denorm_min(),
        std::numeric_limits<double>::min(), std::numeric_limits<double>::max(), 1e-300, 1e300,
        1.0 - 1e-16, 1e-6};
    const std::uint8_t tag = byte();
    if (tag < 2 * std::size(SPECIALS)) return SPECIALS[tag % std::size(SPECIALS)];
    if (tag < 200) return static_cast<double>(tag - 2 * std::size(SPECIALS)) / 16.0;
    double value = 0.0;
    std::uint8_t raw[sizeof(double)] = {};
    for (std::uint8_t& b : raw) b = byte();
    std::memcpy(&value, raw, sizeof value);
    return value;
  }

  // Up to `most` numbers.
  std::vector<double> numbers(std::size_t most) {
    std::vector<double> values(byte() % (most + 1));
    for (double& v : values) v = number();
    return values;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

bool is_kernel_text(std::string_view text) {
  namespace cm = carlson::messages;
  namespace lm = legendre::messages;
  for (const char* known :
       {cm::RF_DOMAIN, cm::RF_CONVERGE, cm::RD_XY_DOMAIN, cm::RD_Z_DOMAIN, cm::RD_CONVERGE,
        cm::RJ_DOMAIN, cm::RJ_P_DOMAIN, cm::RJ_CONVERGE, cm::RC_X_DOMAIN, cm::RC_Y_DOMAIN,
        lm::K_DOMAIN, lm::E_DOMAIN, lm::PI_M_DOMAIN, lm::PI_N_DOMAIN}) {
    if (text == known) return true;
  }
  return false;
}

void require(bool condition) {
  if (!condition) std::abort();
}

void check(const mirlaxon::ellip::KernelResult& result) {
  if (!result) require(is_kernel_text(result.error()));
}

template <class T>
void check(const models::ModelResult<T>& result, std::size_t expected_size) {
  if (result) {
    if constexpr (!std::is_same_v<T, double>) require(result->size() == expected_size);
    return;
  }
  const models::ModelError& error = result.error();
  if (error.kind() == models::ModelError::Kind::kernel) {
    require(is_kernel_text(error.message()));
  } else {
    require(error.message().starts_with("assertion `left == right` failed\n  left: "));
  }
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

int c_status(const models::ModelError& error) {
  switch (error.kind()) {
    case models::ModelError::Kind::kernel: return MIRLAXON_KERNEL_FAILURE;
    case models::ModelError::Kind::value: return MIRLAXON_VALUE_ERROR;
    case models::ModelError::Kind::assertion: break;
  }
  return MIRLAXON_LENGTH_MISMATCH;
}

// A result's values as the C library lays them out: one per separation, a
// gradient's three rows, or a row per power, one row after the other.
std::vector<double> laid_out(double value) { return {value}; }
std::vector<double> laid_out(const models::Samples& values) { return values; }
std::vector<double> laid_out(const models::GradientSamples& gradient) {
  std::vector<double> out = gradient.value;
  out.insert(out.end(), gradient.d_u.begin(), gradient.d_u.end());
  out.insert(out.end(), gradient.d_rho.begin(), gradient.d_rho.end());
  return out;
}
std::vector<double> laid_out(const models::ComponentSamples& rows) {
  std::vector<double> out;
  for (const models::Samples& row : rows) out.insert(out.end(), row.begin(), row.end());
  return out;
}

// The C entry `call(out, error)` against the model's own result: the same
// status and bits, nothing written on failure, a report the caller can read
// (the message the model writes, a bad item's name, value and where its
// text starts), and the same status without a report.
template <class T, class Call>
void check_c(const models::ModelResult<T>& model, std::size_t count, const Call& call) {
  constexpr double UNTOUCHED = -1234.5;
  std::vector<double> out(count + 1, UNTOUCHED);
  mirlaxon_error error;
  std::memset(&error, 0x5a, sizeof error);
  const int status = call(out.data(), &error);
  require(status == error.status && call(out.data(), nullptr) == status);
  require(std::memchr(error.message, '\0', sizeof error.message) != nullptr);
  require(std::memchr(error.argument, '\0', sizeof error.argument) != nullptr);
  require(same_bits(out[count], UNTOUCHED));
  if (model) {
    require(status == MIRLAXON_OK);
    const std::vector<double> expected = laid_out(*model);
    require(expected.size() == count);
    for (std::size_t i = 0; i < count; ++i) require(same_bits(out[i], expected[i]));
    return;
  }
  for (const double value : out) require(same_bits(value, UNTOUCHED));
  require(status == c_status(model.error()));
  const std::string_view message(error.message);
  if (model.error().has_value()) {
    require(error.argument[0] != '\0' && error.value_offset < message.size());
    require(same_bits(error.value, model.error().value()));
    require(model.error().message(message.substr(error.value_offset)) == message);
  } else {
    require(error.argument[0] == '\0' && model.error().message() == message);
  }
}

void check_c_entries(Input& in) {
  const std::vector<double> l = in.numbers(3);
  const double re = in.number(), rstar = in.number();
  const std::vector<double> a = in.numbers(5), b = in.numbers(5);
  const std::size_t n = l.size();
  switch (in.byte() % 11) {
    case 0:
      check_c(models::witt_mao_magnification(l, re, rstar), n, [&](double* out, mirlaxon_error* error) {
        return mirlaxon_witt_mao_magnification(l.data(), n, re, rstar, out, error);
      });
      break;
    case 1:
      check_c(models::integrated_witt_mao_magnification(l, re, rstar), n, [&](double* out, mirlaxon_error* error) {
        return mirlaxon_integrated_witt_mao_magnification(l.data(), n, re, rstar, out, error);
      });
      break;
    case 2:
      check_c(models::integrated_flux_map_witt_mao_magnification(l, re, rstar, a, b), n,
              [&](double* out, mirlaxon_error* error) {
                return mirlaxon_integrated_flux_map_witt_mao_magnification(l.data(), n, re, rstar, a.data(),
                                                                           a.size(), b.data(), b.size(), out, error);
              });
      break;
    case 3: {
      const double r = in.number();
      const double at = l.empty() ? 0.0 : l[0];
      check_c(models::heyrovsky_magnification(at, r, re, rstar), 1, [&](double* out, mirlaxon_error* error) {
        return mirlaxon_heyrovsky_magnification(at, r, re, rstar, out, error);
      });
      break;
    }
    case 4:
      check_c(models::integrated_heyrovsky_magnification(l, re, rstar), n, [&](double* out, mirlaxon_error* error) {
        return mirlaxon_integrated_heyrovsky_magnification(l.data(), n, re, rstar, out, error);
      });
      break;
    case 5:
      check_c(models::integrated_flux_map_heyrovsky_magnification(l, re, rstar, a, b), n,
              [&](double* out, mirlaxon_error* error) {
                return mirlaxon_integrated_flux_map_heyrovsky_magnification(l.data(), n, re, rstar, a.data(),
                                                                            a.size(), b.data(), b.size(), out, error);
              });
      break;
    case 6:
      check_c(models::discrete_flux_map_heyrovsky_magnification(l, re, rstar, a, b), n,
              [&](double* out, mirlaxon_error* error) {
                return mirlaxon_discrete_flux_map_heyrovsky_magnification(l.data(), n, re, rstar, a.data(), a.size(),
                                                                          b.data(), b.size(), out, error);
              });
      break;
    case 8:
      check_c(models::witt_mao_gradient(l, re, rstar), 3 * n, [&](double* out, mirlaxon_error* error) {
        return mirlaxon_witt_mao_gradient(l.data(), n, re, rstar, out, out + n, out + 2 * n, error);
      });
      break;
    case 9:
      check_c(models::integrated_limb_law_heyrovsky_gradient(l, re, rstar, a, b), 3 * n,
              [&](double* out, mirlaxon_error* error) {
                return mirlaxon_integrated_limb_law_heyrovsky_gradient(l.data(), n, re, rstar, a.data(), a.size(),
                                                                       b.data(), b.size(), out, out + n,
                                                                       out + 2 * n, error);
              });
      break;
    case 10:
      check_c(models::integrated_limb_law_heyrovsky_components(l, re, rstar, a), a.size() * n,
              [&](double* out, mirlaxon_error* error) {
                return mirlaxon_integrated_limb_law_heyrovsky_components(l.data(), n, re, rstar, a.data(), a.size(),
                                                                         out, error);
              });
      break;
    default:
      check_c(models::integrated_limb_law_heyrovsky_magnification(l, re, rstar, a, b), n,
              [&](double* out, mirlaxon_error* error) {
                return mirlaxon_integrated_limb_law_heyrovsky_magnification(l.data(), n, re, rstar, a.data(),
                                                                            a.size(), b.data(), b.size(), out, error);
              });
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  switch (in.byte() % 17) {
    case 0: check(carlson::elliprc(in.number(), in.number())); break;
    case 1: check(carlson::elliprf(in.number(), in.number(), in.number())); break;
    case 2: check(carlson::elliprd(in.number(), in.number(), in.number())); break;
    case 3: check(carlson::elliprj(in.number(), in.number(), in.number(), in.number())); break;
    case 4: check(legendre::ellipk(in.number())); check(legendre::ellipe(in.number())); break;
    case 5: check(legendre::ellippi(in.number(), in.number())); break;
    case 6: {
      const double n = in.number(), nc = in.number(), mc = in.number();
      check(legendre::ellipk_from_complement(mc));
      check(legendre::ellippi_from_complements(n, nc, mc));
      (void)mirlaxon::ellip::bulirsch::cel(in.number(), in.number(), in.number(), in.number());
      break;
    }
    case 7: {
      const double l = in.number(), r = in.number(), re = in.number(), rstar = in.number();
      check(models::heyrovsky_magnification(l, r, re, rstar), 1);
      const models::RingsAtSeparation rings(l, re / rstar);
      const std::vector<double> radii = in.numbers(9);
      std::vector<double> out(radii.size());
      rings.at_batch(radii, out);
      for (std::size_t i = 0; i < radii.size(); ++i) {
        const double one = rings.at(radii[i]);
        require(out[i] == one || (out[i] != out[i] && one != one));  // bit for bit, NaN alike
      }
      break;
    }
    case 8: {
      const std::vector<double> l = in.numbers(8);
      check(models::witt_mao_magnification(l, in.number(), in.number()), l.size());
      const models::DisksAtSeparation disks(in.number(), in.number());
      const std::vector<double> radii = in.numbers(9);
      std::vector<double> out(radii.size());
      disks.at_batch(radii, out);
      for (std::size_t i = 0; i < radii.size(); ++i) {
        const double one = disks.at(radii[i]);
        require(out[i] == one || (out[i] != out[i] && one != one));
      }
      break;
    }
    case 9: {  // integrals cost 10-400 µs per separation: keep them short
      const std::vector<double> l = in.numbers(2);
      check(models::integrated_witt_mao_magnification(l, in.number(), in.number()), l.size());
      break;
    }
    case 10: {
      const std::vector<double> l = in.numbers(2);
      const double re = in.number(), rstar = in.number();
      check(models::integrated_heyrovsky_magnification(l, re, rstar), l.size());
      const std::vector<double> powers = in.numbers(5), weights = in.numbers(5);
      const auto law = models::integrated_limb_law_heyrovsky_magnification(l, re, rstar, powers, weights);
      require(!law || law->size() == l.size());
      require(law || law.error().kind() == models::ModelError::Kind::value);
      break;
    }
    case 11:
    case 12:
    case 13: {
      const std::vector<double> l = in.numbers(2);
      const double re = in.number(), rstar = in.number();
      const std::vector<double> bl = in.numbers(6), bf = in.numbers(6);
      const std::uint8_t which = in.byte() % 3;
      if (which == 0) check(models::integrated_flux_map_witt_mao_magnification(l, re, rstar, bl, bf), l.size());
      if (which == 1) check(models::integrated_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf), l.size());
      if (which == 2) check(models::discrete_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf), l.size());
      break;
    }
    case 16: check_c_entries(in); break;
    case 14: {
      const std::vector<double> xp = in.numbers(6), fp = in.numbers(6);
      const auto rule = mirlaxon::interp::OutsideRule::FixedValue(in.number());
      (void)mirlaxon::interp::interp(xp, fp, in.number(), rule);
      break;
    }
    default: {
      const double a = in.number(), b = in.number(), scale = in.number();
      const auto f = [scale](double x) { return scale * x * x; };
      (void)mirlaxon::quadrature::double_exponential::integrate(f, a, b, in.number());
      (void)mirlaxon::numdiff::central_difference(f, in.number());
      break;
    }
  }
  return 0;
}
