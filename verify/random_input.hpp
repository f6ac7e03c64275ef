// A seeded random input: every part uniform in [-1, 1), the same values from the same seed on
// every machine and with every standard library.
#pragma once

#include "kelvane_complex.h"

#include <cstdint>
#include <span>

namespace kelvane::verify {

// Fills `samples` from `seed`: each part is a multiple of 2^-23 in [-1, 1), taken from the
// high 24 bits of successive outputs of the 64-bit Mersenne twister.
void fill_random(std::span<kelvane_complex> samples, std::uint64_t seed);

} // namespace kelvane::verify
