// The comparison run's signal and the floating-point mode it is made and transformed in, for
// the run and for every program that checks a transform of the same signal.
#pragma once

#include "kelvane_complex.h"

#include <cstdint>

namespace kelvane::driver {

// Samples of the signal, of both transforms and rows of the table.
inline constexpr std::int32_t sample_count = 1 << 20;

// Sets flush-to-zero and denormals-are-zero (MXCSR bits 0x8040) for all later arithmetic.
void enter_flush_to_zero_mode();

// The signal at length n: sample i becomes (sin((i + i) * s), cos(i * (7 * s))) with s = 1/n,
// every step in single precision. At a power of two n = 2^m both arguments are exact (2i/n and
// 7i/n); at any other length s is 1/n rounded once. The comparison run uses n = sample_count.
void fill_signal(kelvane_complex* samples, std::int64_t count);

} // namespace kelvane::driver
