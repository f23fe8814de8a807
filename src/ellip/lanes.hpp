// Four doubles side by side, for the formulas the library evaluates at many
// points: each formula is written once, as a template over its number type,
// and runs on a `double` or on `Four` lanes with the same correctly rounded
// operations (+ − × ÷ √) in the same order, so that both give the same bits.
//
// This is the one place that knows about vector instructions. The lanes are
// GCC's vector extensions, which need no intrinsics: a group of four points
// runs in AVX registers when the processor has AVX2 (asked once, at run
// time) and the build has not turned the lanes off (MIRLAXON_NO_VECTOR_LANES,
// the scalar build that CI also tests); otherwise every point runs alone.
//
// A formula's lanes must never cross a call between code compiled for AVX2
// and code that is not (the two pass 32-byte vectors differently): GCC's
// flatten inlines the whole formula into the AVX2 group runner, and the tests
// compare every lane formula with its scalar bits. Clang does not inline
// across that boundary, so under clang (the fuzzing build) the points run
// alone.
#pragma once

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>


namespace mirlaxon::ellip::lanes {

// The operations a formula uses beyond the arithmetic operators, for one
// point at a time; `Four` has the same ones.
inline double sqrt(double x) { return std::sqrt(x); }
inline double abs(double x) { return std::fabs(x); }
inline double select(bool take, double taken, double otherwise) { return take ? taken : otherwise; }
inline bool both(bool a, bool b) { return a && b; }
inline bool either(bool a, bool b) { return a || b; }
inline bool and_not(bool a, bool b) { return a && !b; }
inline bool negation(bool a) { return !a; }
inline bool all_of(bool m) { return m; }
inline bool any_of(bool m) { return m; }
// What a group of points is given to say its number type (an empty tag: no
// vector crosses a call that is not compiled for the lanes).
template <class Real>
struct Type {
  using type = Real;
  static constexpr std::size_t width = sizeof(Real) / sizeof(double);  // points in a group
};
inline double load(const double* from, Type<double> /*type*/) { return *from; }
inline void store(double value, double* to) { *to = value; }

// Turns the lanes off while it lives, so that a test can compare the two ways
// in one process. For tests only: it holds for every thread (a flag that
// each batch reads for nothing, where a thread-local one cost a call into the
// dynamic loader per batch in a shared library).
class ScalarOnly {
 public:
  ScalarOnly() : previous_(flag().exchange(true, std::memory_order_relaxed)) {}
  ~ScalarOnly() { flag().store(previous_, std::memory_order_relaxed); }
  ScalarOnly(const ScalarOnly&) = delete;
  ScalarOnly& operator=(const ScalarOnly&) = delete;

  static bool on() { return flag().load(std::memory_order_relaxed); }

 private:
  static std::atomic<bool>& flag() {
    static std::atomic<bool> value{false};
    return value;
  }
  bool previous_;
};

#if !defined(MIRLAXON_NO_VECTOR_LANES) && defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
namespace detail {
using Raw = double __attribute__((vector_size(32)));
using RawMask = long long __attribute__((vector_size(32)));
// The same four doubles at any address of a double.
using Unaligned = double __attribute__((vector_size(32), aligned(8), may_alias));
}  // namespace detail

// Which of four lanes a comparison holds in: all bits of a lane set or
// clear, kept as doubles so that masks, blends and sign tests stay in the
// floating-point domain (no bypass delay between integer and floating-point
// units on the way from a comparison to a blend).
struct FourMask {
  detail::Raw bits;
};

struct Four {
  detail::Raw v;
  Four() = default;
  Four(const detail::Raw& raw) : v(raw) {}           // NOLINT(google-explicit-constructor)
  // A constant in every lane (vbroadcastsd).
  [[gnu::target("avx2")]] Four(double x)  // NOLINT(google-explicit-constructor)
      : v(__builtin_ia32_vbroadcastsd_pd256(__extension__(__attribute__((vector_size(16))) double){x, x})) {}
};

inline Four operator+(const Four& a, const Four& b) { return a.v + b.v; }
inline Four operator-(const Four& a, const Four& b) { return a.v - b.v; }
inline Four operator*(const Four& a, const Four& b) { return a.v * b.v; }
inline Four operator/(const Four& a, const Four& b) { return a.v / b.v; }

// The lanes' instructions GCC's vector operators do not give in the
// floating-point domain. Compiled for AVX2; reached only from the AVX2 group
// runner below, into which everything is inlined.
namespace detail {
template <int Predicate>
[[gnu::target("avx2")]] inline FourMask compare(const Four& a, const Four& b) {
  return {__builtin_ia32_cmppd256(a.v, b.v, Predicate)};
}
}  // namespace detail
// Ordered, non-signalling: false in a lane where either side is NaN, as the
// scalar comparisons are; != is unordered, true for a NaN, as in C++.
inline FourMask operator<(const Four& a, const Four& b) { return detail::compare<0x11>(a, b); }
inline FourMask operator<=(const Four& a, const Four& b) { return detail::compare<0x12>(a, b); }
inline FourMask operator>(const Four& a, const Four& b) { return detail::compare<0x1E>(a, b); }
inline FourMask operator>=(const Four& a, const Four& b) { return detail::compare<0x1D>(a, b); }
inline FourMask operator!=(const Four& a, const Four& b) { return detail::compare<0x04>(a, b); }

// vsqrtpd, correctly rounded in every lane.
[[gnu::target("avx2")]] inline Four sqrt(const Four& x) { return __builtin_ia32_sqrtpd256(x.v); }
[[gnu::target("avx2")]] inline Four abs(const Four& x) { return __builtin_ia32_andnpd256(detail::Raw{-0.0, -0.0, -0.0, -0.0}, x.v); }
[[gnu::target("avx2")]] inline Four select(const FourMask& take, const Four& taken, const Four& otherwise) {
  return __builtin_ia32_blendvpd256(otherwise.v, taken.v, take.bits);
}
[[gnu::target("avx2")]] inline FourMask both(const FourMask& a, const FourMask& b) {
  return {__builtin_ia32_andpd256(a.bits, b.bits)};
}
[[gnu::target("avx2")]] inline FourMask either(const FourMask& a, const FourMask& b) {
  return {__builtin_ia32_orpd256(a.bits, b.bits)};
}
[[gnu::target("avx2")]] inline FourMask and_not(const FourMask& a, const FourMask& b) {
  return {__builtin_ia32_andnpd256(b.bits, a.bits)};
}
[[gnu::target("avx2")]] inline FourMask negation(const FourMask& a) {
  const detail::Raw all = reinterpret_cast<detail::Raw>(detail::RawMask{-1, -1, -1, -1});
  return {__builtin_ia32_xorpd256(a.bits, all)};
}
// vmovmskpd: the lanes' sign bits, set where a comparison holds.
[[gnu::target("avx2")]] inline int lanes_set(const FourMask& m) { return __builtin_ia32_movmskpd256(m.bits); }
inline bool all_of(const FourMask& m) { return lanes_set(m) == 0xF; }
inline bool any_of(const FourMask& m) { return lanes_set(m) != 0; }
inline Four load(const double* from, Type<Four> /*type*/) {
  return detail::Raw(*reinterpret_cast<const detail::Unaligned*>(from));
}
inline void store(const Four& value, double* to) { *reinterpret_cast<detail::Unaligned*>(to) = value.v; }

// Whether the processor runs AVX2, asked once.
inline bool processor_has_avx2() {
  static const bool supported = __builtin_cpu_supports("avx2") != 0;
  return supported;
}

namespace detail {
// Groups of four points, all inlined into one function compiled for AVX2
// (flatten), so that the lanes stay in registers; the group is taken by
// value, so that what it holds stays in registers too (a stored result could
// otherwise be the double a reference to it points at).
template <class Group>
[[gnu::target("avx2"), gnu::flatten]] std::size_t run_fours(std::size_t count, Group group) {
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) group(i, Type<Four>{});
  return i;
}
}  // namespace detail

// Whether groups of four run in vector lanes here and now.
inline bool vector_lanes() { return processor_has_avx2() && !ScalarOnly::on(); }

// The points i < n (a multiple of four) that ran in groups of four.
template <class Group>
std::size_t run_groups_of_four(std::size_t count, const Group& group) {
  return vector_lanes() ? detail::run_fours(count, group) : 0;
}
#else
inline bool vector_lanes() { return false; }

template <class Group>
std::size_t run_groups_of_four(std::size_t /*count*/, const Group& /*group*/) {
  return 0;
}
#endif

// Calls group(i, Type<Four>{}) for points i … i + 3 while four are left and
// the lanes run, then group(i, Type<double>{}) for every point left: the
// group reads and writes its points through load() and store() with the type
// it is given.
template <class Group>
void for_each_group(std::size_t count, const Group& group) {
  std::size_t i = run_groups_of_four(count, group);
  for (; i < count; ++i) group(i, Type<double>{});
}

}  // namespace mirlaxon::ellip::lanes
