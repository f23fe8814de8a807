// The elliptic kernels beside Boost.Math's and GSL's: time per call on the
// arguments the ring and disk models produce, and, printed before the
// timings, each library's error in ulps against the committed mpmath table.
//
// Peers are called in their own conventions: Boost and GSL take the modulus
// k = √m (the square root is part of their cost), GSL's Π has the opposite
// sign of n. Boost runs with promote_double<false>, so that it computes in
// double like the others (its default promotes to long double).
#include <benchmark/benchmark.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ellip/bulirsch.hpp"
#include "ellip/carlson.hpp"
#include "ellip/legendre.hpp"
#include "reference_table.hpp"

#ifdef MIRLAXON_BENCH_BOOST
#include <boost/math/special_functions/ellint_1.hpp>
#include <boost/math/special_functions/ellint_2.hpp>
#include <boost/math/special_functions/ellint_3.hpp>
#include <boost/math/special_functions/ellint_rf.hpp>
#include <boost/math/special_functions/ellint_rj.hpp>
#endif
#ifdef MIRLAXON_BENCH_GSL
#include <gsl/gsl_errno.h>
#include <gsl/gsl_sf_ellint.h>
#endif

namespace {

namespace carlson = mirlaxon::ellip::carlson;
namespace legendre = mirlaxon::ellip::legendre;
namespace bulirsch = mirlaxon::ellip::bulirsch;

#ifdef MIRLAXON_BENCH_BOOST
using DoublePolicy = boost::math::policies::policy<
    boost::math::policies::promote_double<false>,
    boost::math::policies::domain_error<boost::math::policies::ignore_error>,
    boost::math::policies::pole_error<boost::math::policies::ignore_error>,
    boost::math::policies::overflow_error<boost::math::policies::ignore_error>,
    boost::math::policies::evaluation_error<boost::math::policies::ignore_error>>;
const DoublePolicy boost_double;
#endif

// (m, n) as the models form them: rings of radius r (the quadrature's nodes
// over the source) about separations l for three Einstein radii, and disks
// of radius ρ at separations u.
struct ModelArguments {
  std::vector<double> m, n;
};

const ModelArguments& model_arguments() {
  static const ModelArguments arguments = [] {
    ModelArguments a;
    for (const double eta : {0.1, 1.0, 10.0}) {
      for (int i = 0; i < 32; ++i) {
        const double l = 0.05 + 2.0 * i / 32.0;
        for (int j = 1; j <= 21; ++j) {
          const double r = 0.5 * (1.0 + std::tanh(1.5707963267948966 * std::sinh(-3.0 + 6.0 * j / 22.0)));
          const double d = l - r, s = l + r, q = d * d + 4.0 * eta * eta;
          const double n = 4.0 * l * r / (s * s);
          a.n.push_back(n);
          a.m.push_back(n * 4.0 * eta * eta / q);
        }
      }
    }
    for (const double rho : {0.01, 0.1, 1.0}) {
      for (int i = 0; i < 600; ++i) {
        const double u = rho * (0.01 + 3.0 * i / 600.0);
        const double d = u - rho, s = rho + u, q = std::sqrt(d * d + 4.0);
        const double n = 4.0 * rho * u / (s * s);
        if (!(n < 1.0)) continue;
        a.n.push_back(n);
        a.m.push_back(4.0 * n / (q * q));
      }
    }
    return a;
  }();
  return arguments;
}

double value_or_nan(const mirlaxon::ellip::KernelResult& r) { return r ? *r : NAN; }

// One benchmark loop over every model argument; f(m, n) returns the value.
template <class F>
void run(benchmark::State& state, F f) {
  const ModelArguments& a = model_arguments();
  for (auto _ : state) {
    for (std::size_t i = 0; i < a.m.size(); ++i) benchmark::DoNotOptimize(f(a.m[i], a.n[i]));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * a.m.size()));
  state.counters["ns_per_call"] = benchmark::Counter(
      static_cast<double>(state.iterations() * a.m.size()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}

#define MIRLAXON_KERNEL(name, ...) \
  BENCHMARK_CAPTURE(run, name, [](double m, double n) { (void)n; return __VA_ARGS__; })

MIRLAXON_KERNEL(ellipk_mirlaxon, value_or_nan(legendre::ellipk(m)));
MIRLAXON_KERNEL(ellipe_mirlaxon, value_or_nan(legendre::ellipe(m)));
MIRLAXON_KERNEL(ellippi_mirlaxon, value_or_nan(legendre::ellippi(n, m)));
MIRLAXON_KERNEL(elliprf_mirlaxon, value_or_nan(carlson::elliprf(0.0, 1.0 - m, 1.0)));
MIRLAXON_KERNEL(elliprj_mirlaxon, value_or_nan(carlson::elliprj(0.0, 1.0 - m, 1.0, 1.0 - n)));
// The ring's 2K + Π: two Carlson reductions, or one Bulirsch mean.
MIRLAXON_KERNEL(ring_K_plus_Pi_mirlaxon_carlson,
                2.0 * value_or_nan(legendre::ellipk(m)) + value_or_nan(legendre::ellippi(n, m)));
MIRLAXON_KERNEL(ring_K_plus_Pi_mirlaxon_cel, bulirsch::cel(std::sqrt(1.0 - m), 1.0 - n, 3.0, 3.0 - 2.0 * n));
#ifdef MIRLAXON_BENCH_BOOST
MIRLAXON_KERNEL(ellipk_boost, boost::math::ellint_1(std::sqrt(m), boost_double));
MIRLAXON_KERNEL(ellipe_boost, boost::math::ellint_2(std::sqrt(m), boost_double));
MIRLAXON_KERNEL(ellippi_boost, boost::math::ellint_3(std::sqrt(m), n, boost_double));
MIRLAXON_KERNEL(elliprf_boost, boost::math::ellint_rf(0.0, 1.0 - m, 1.0, boost_double));
MIRLAXON_KERNEL(elliprj_boost, boost::math::ellint_rj(0.0, 1.0 - m, 1.0, 1.0 - n, boost_double));
MIRLAXON_KERNEL(ellippi_boost_default_policy, boost::math::ellint_3(std::sqrt(m), n));
#endif
#ifdef MIRLAXON_BENCH_GSL
MIRLAXON_KERNEL(ellipk_gsl, gsl_sf_ellint_Kcomp(std::sqrt(m), GSL_PREC_DOUBLE));
MIRLAXON_KERNEL(ellipe_gsl, gsl_sf_ellint_Ecomp(std::sqrt(m), GSL_PREC_DOUBLE));
MIRLAXON_KERNEL(ellippi_gsl, gsl_sf_ellint_Pcomp(std::sqrt(m), -n, GSL_PREC_DOUBLE));
MIRLAXON_KERNEL(elliprf_gsl, gsl_sf_ellint_RF(0.0, 1.0 - m, 1.0, GSL_PREC_DOUBLE));
MIRLAXON_KERNEL(elliprj_gsl, gsl_sf_ellint_RJ(0.0, 1.0 - m, 1.0, 1.0 - n, GSL_PREC_DOUBLE));
#endif

// Distance in units in the last place of the reference value.
double ulps(double got, double expected) {
  if (got == expected) return 0.0;
  if (!std::isfinite(got) || !std::isfinite(expected)) return INFINITY;
  const double spacing = std::nextafter(std::fabs(expected), INFINITY) - std::fabs(expected);
  return std::fabs(got - expected) / spacing;
}

using Evaluator = std::function<double(const std::vector<double>&)>;

// Each library's evaluators per table function; a peer that cannot take a
// row (a negative m for a modulus, say) returns NaN and the row is skipped.
std::map<std::string, std::map<std::string, Evaluator>> evaluators() {
  std::map<std::string, std::map<std::string, Evaluator>> e;
  e["ellipk"]["mirlaxon"] = [](const auto& x) { return value_or_nan(legendre::ellipk(x[0])); };
  e["ellipe"]["mirlaxon"] = [](const auto& x) { return value_or_nan(legendre::ellipe(x[0])); };
  e["ellippi"]["mirlaxon"] = [](const auto& x) { return value_or_nan(legendre::ellippi(x[0], x[1])); };
  e["elliprf"]["mirlaxon"] = [](const auto& x) { return value_or_nan(carlson::elliprf(x[0], x[1], x[2])); };
  e["elliprj"]["mirlaxon"] = [](const auto& x) {
    return value_or_nan(carlson::elliprj(x[0], x[1], x[2], x[3]));
  };
#ifdef MIRLAXON_BENCH_BOOST
  e["ellipk"]["boost"] = [](const auto& x) {
    return x[0] < 0.0 ? NAN : boost::math::ellint_1(std::sqrt(x[0]), boost_double);
  };
  e["ellipe"]["boost"] = [](const auto& x) {
    return x[0] < 0.0 ? NAN : boost::math::ellint_2(std::sqrt(x[0]), boost_double);
  };
  e["ellippi"]["boost"] = [](const auto& x) {
    return x[1] < 0.0 ? NAN : boost::math::ellint_3(std::sqrt(x[1]), x[0], boost_double);
  };
  e["elliprf"]["boost"] = [](const auto& x) { return boost::math::ellint_rf(x[0], x[1], x[2], boost_double); };
  e["elliprj"]["boost"] = [](const auto& x) {
    return boost::math::ellint_rj(x[0], x[1], x[2], x[3], boost_double);
  };
#endif
#ifdef MIRLAXON_BENCH_GSL
  const auto gsl_value = [](int status, const gsl_sf_result& r) { return status == GSL_SUCCESS ? r.val : NAN; };
  const auto k_of = [](double m) { return m >= 0.0 ? std::sqrt(m) : NAN; };
  e["ellipk"]["gsl"] = [=](const auto& x) {
    gsl_sf_result r;
    return gsl_value(gsl_sf_ellint_Kcomp_e(k_of(x[0]), GSL_PREC_DOUBLE, &r), r);
  };
  e["ellipe"]["gsl"] = [=](const auto& x) {
    gsl_sf_result r;
    return gsl_value(gsl_sf_ellint_Ecomp_e(k_of(x[0]), GSL_PREC_DOUBLE, &r), r);
  };
  e["ellippi"]["gsl"] = [=](const auto& x) {
    gsl_sf_result r;
    return gsl_value(gsl_sf_ellint_Pcomp_e(k_of(x[1]), -x[0], GSL_PREC_DOUBLE, &r), r);
  };
  e["elliprf"]["gsl"] = [=](const auto& x) {
    gsl_sf_result r;
    return gsl_value(gsl_sf_ellint_RF_e(x[0], x[1], x[2], GSL_PREC_DOUBLE, &r), r);
  };
  e["elliprj"]["gsl"] = [=](const auto& x) {
    gsl_sf_result r;
    return gsl_value(gsl_sf_ellint_RJ_e(x[0], x[1], x[2], x[3], GSL_PREC_DOUBLE, &r), r);
  };
#endif
  return e;
}

void print_ulp_table() {
  const auto rows = mirlaxon::test::read_table("ellip_reference.tsv");
  const auto all = evaluators();
  std::printf("ulp error against the mpmath table (rows each library can take):\n");
  std::printf("  %-8s %-9s %6s %9s %9s %14s\n", "function", "library", "rows", "max ulp", "mean ulp",
              "max, m <= 0.99");
  for (const auto& [function, libraries] : all) {
    for (const auto& [library, evaluate] : libraries) {
      // The peers take the modulus √m, which cannot carry 1 − m below about
      // ε: rows with m ≤ 0.99 show their accuracy apart from that.
      double worst = 0.0, total = 0.0, worst_regular = 0.0;
      int counted = 0;
      for (const auto& row : rows) {
        if (row.fields.at(0) != function) continue;
        std::vector<double> x;
        for (std::size_t i = 1; i + 1 < row.fields.size(); ++i) x.push_back(row.number(i));
        const double got = evaluate(x);
        if (std::isnan(got)) continue;
        const double error = ulps(got, row.number(row.fields.size() - 1));
        worst = std::fmax(worst, error);
        const bool legendre_row = function.rfind("ellip", 0) == 0 && function.size() <= 7;
        if (!legendre_row || x.back() <= 0.99) worst_regular = std::fmax(worst_regular, error);
        total += error;
        ++counted;
      }
      std::printf("  %-8s %-9s %6d %9.2f %9.2f %14.2f\n", function.c_str(), library.c_str(), counted,
                  worst, counted ? total / counted : 0.0, worst_regular);
    }
  }
  std::printf("model arguments per benchmark iteration: %zu\n\n", model_arguments().m.size());
}

}  // namespace

int main(int argc, char** argv) {
#ifdef MIRLAXON_BENCH_GSL
  gsl_set_error_handler_off();
#endif
  print_ulp_table();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
