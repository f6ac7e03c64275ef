// How many back-to-back executions a timed sample holds.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace kelvane::verify {

// A timed sample lasts at least this long, so that a clock's resolution and a launch's cost
// are small parts of it.
inline constexpr double least_sample_seconds = 5e-3;

// Enough executions that `least_seconds` pass, by one execution's time; at most a million.
inline std::size_t executions_for(double one, double least_seconds = least_sample_seconds) {
    if (!(one > 0.0)) return 1'000'000;
    return static_cast<std::size_t>(std::clamp(std::ceil(least_seconds / one), 1.0, 1e6));
}

} // namespace kelvane::verify
