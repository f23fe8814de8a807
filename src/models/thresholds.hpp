// Where the models change method, each decided here once.
#pragma once

namespace mirlaxon::models {

// Far field: a circle of radius R seen from the lens at a distance of
// FAR_FIELD_DISTANCE·R or more is averaged by the series in (R/u)² of
// far_field.hpp: with (R/u)² ≤ 1/100 the first term left out is below 1e-18
// of the mean, where the closed forms lose ε·(u/R)² to cancellation.
inline constexpr double FAR_FIELD_DISTANCE = 10.0;

// From this separation (source radii) to the far field nothing singular lies
// on the source, and the ring family's rule over the source is the
// 24-point product rule against the profile.
inline constexpr double PRODUCT_RULE_FROM = 1.5;

// Closer to the ring through the lens (or to the limb) than 1e-150 of l + r
// the complement (d/s)² of the closed forms would leave the normal doubles:
// the first-order series about the ring (the limb value for a disk) is then
// exact to far below rounding, and takes over.
inline constexpr double CLOSED_FORM_LIMIT = 1e-150;

static_assert(PRODUCT_RULE_FROM < FAR_FIELD_DISTANCE);
static_assert(CLOSED_FORM_LIMIT * CLOSED_FORM_LIMIT > 0.0, "(d/s)² stays a normal double");

}  // namespace mirlaxon::models
