// When a call gives up the interpreter lock, and how its separations are
// cut into pieces between which the host's signals are looked at: both
// decided from the description, the arguments and the time each piece took,
// deterministically.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "binding/handler.hpp"

namespace {

using namespace mirlaxon::binding;
using Model = mirlaxon::models::ModelResult<mirlaxon::models::Samples> (*)(std::span<const double>, double, double,
                                                                         std::span<const double>,
                                                                         std::span<const double>);
using Signature = detail::ModelSignature<Model>;
using detail::SeparationPieces;
using std::chrono::milliseconds;

constexpr std::array<Parameter, 5> PARAMETERS = {Parameter{ParamName::l, ArgKind::sequence},
                                                 Parameter{ParamName::re, ArgKind::number},
                                                 Parameter{ParamName::rstar, ArgKind::number},
                                                 Parameter{ParamName::bl, ArgKind::sequence},
                                                 Parameter{ParamName::bf, ArgKind::sequence}};

Arguments arguments(std::size_t separations, std::size_t samples) {
  Arguments converted;
  converted[0].samples.assign(separations, 0.5);
  converted[3].samples.assign(samples, 0.5);
  converted[4].samples.assign(samples, 1.0);
  return converted;
}

TEST(LockDecision, FromThePolicyAndTheWork) {
  const FunctionDescription hold{"f", PARAMETERS, LockPolicy::hold};
  const FunctionDescription integral{"f", PARAMETERS, LockPolicy::release};
  const FunctionDescription closed{"f", PARAMETERS, LockPolicy::release_for_many};
  const FunctionDescription summed{"f", PARAMETERS, LockPolicy::release_for_many, ParamName::bl};
  const struct {
    const FunctionDescription& description;
    std::size_t separations, samples;
    bool releases;
    std::size_t first_piece;
  } cases[] = {
      {hold, 1'000'000, 0, false, 0},
      {integral, 0, 0, false, 0},
      {integral, 1, 0, true, SeparationPieces::FIRST_INTEGRALS},
      {closed, RELEASE_LOCK_FROM_VALUES - 1, 0, false, 0},
      {closed, RELEASE_LOCK_FROM_VALUES, 5, true, SeparationPieces::FIRST_CLOSED_FORMS},
      {summed, RELEASE_LOCK_FROM_VALUES / 4 - 1, 4, false, 0},
      {summed, RELEASE_LOCK_FROM_VALUES / 4, 4, true, SeparationPieces::FIRST_CLOSED_FORMS / 4},
      {summed, 1, SeparationPieces::FIRST_CLOSED_FORMS * 2, true, 1},  // one separation at a time
      {summed, 40, 0, false, 0},                                       // no rings, no work
  };
  for (const auto& test : cases) {
    const Arguments given = arguments(test.separations, test.samples);
    EXPECT_EQ(Signature::releases_lock(test.description, given), test.releases)
        << test.separations << " " << test.samples;
    if (test.releases) {
      EXPECT_EQ(Signature::first_piece(test.description, given), test.first_piece);
    }
  }
}

// Each piece is sized from the time the one before took, toward 20 ms of
// work, growing at most eightfold; the pieces cover the separations once,
// in order, and an empty call is one empty piece.
TEST(SeparationPieces, FollowTheTimeTaken) {
  const struct {
    std::size_t total, first;
    std::vector<milliseconds> times;
    std::vector<std::size_t> expected;  // the piece sizes
  } cases[] = {
      {0, 16, {milliseconds(0)}, {0}},
      {100, 16, {milliseconds(1), milliseconds(1)}, {16, 84}},            // ×8 at most, then the rest
      {31, 16, {milliseconds(40), milliseconds(40), milliseconds(40), milliseconds(40), milliseconds(40)},
       {16, 8, 4, 2, 1}},                                                  // halved toward 20 ms
      {50, 10, {milliseconds(20), milliseconds(20), milliseconds(20), milliseconds(20), milliseconds(20)},
       {10, 10, 10, 10, 10}},                                              // on target: unchanged
      {3, 1, {milliseconds(100), milliseconds(100), milliseconds(100)}, {1, 1, 1}},  // never below one
  };
  for (const auto& test : cases) {
    SeparationPieces pieces(test.total, test.first);
    std::vector<std::size_t> sizes;
    std::size_t covered = 0;
    for (const milliseconds time : test.times) {
      if (pieces.done()) break;
      const auto [offset, count] = pieces.next();
      EXPECT_EQ(offset, covered);
      sizes.push_back(count);
      covered += count;
      pieces.took(time);
    }
    EXPECT_TRUE(pieces.done()) << test.total;
    EXPECT_EQ(sizes, test.expected) << test.total;
    EXPECT_EQ(covered, test.total);
  }
}

}  // namespace
