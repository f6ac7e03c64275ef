// A seeded random input: every part uniform in [-1, 1), the same values from the same seed on
// every machine and with every standard library.
#pragma once

#include "kelvane_complex.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <span>

namespace kelvane::verify {

// The next part from `generator`: a multiple of 2^(1 - digits) in [-1, 1), digits being the
// precision's significand bits (24 or 53), taken from the high bits of the twister's output,
// which the standard fixes where its distributions are not.
template <class Real>
Real uniform_part(std::mt19937_64& generator) {
    constexpr int digits = std::numeric_limits<Real>::digits;
    const auto top = static_cast<std::int64_t>(generator() >> (64 - digits));
    return static_cast<Real>(top - (std::int64_t{1} << (digits - 1))) *
           std::ldexp(Real{1}, 1 - digits);
}

// Fills `samples` from `seed`, the real part first, sample after sample.
void fill_random(std::span<kelvane_complex> samples, std::uint64_t seed);

} // namespace kelvane::verify
