// The comparison run: one signal, transformed by four1 on the CPU and through c2c_1d on the
// GPU, both legs timed, the two spectra written side by side. The steps are exposed so that
// tests can drive them one at a time.
#pragma once

#include "kelvane_complex.h"
#include "signal.hpp"

#include <cstdint>

namespace kelvane::driver {

// The tick clock: wall-clock time in ticks of 0.1 ms, (seconds mod 214748) * 10000 +
// microseconds / 100. It wraps to a small value every 214748 seconds and stays below 2^31.
inline constexpr std::int32_t tick_rate = 10000;
inline constexpr std::int32_t tick_wrap_seconds = 214748;
inline constexpr std::int32_t tick_wrap_period = tick_wrap_seconds * tick_rate;
std::int32_t read_tick_clock();

// Seconds between two readings of the tick clock. A reading that wrapped in between counts
// one wrap period more; no leg lasts that long.
float elapsed_seconds(std::int32_t start, std::int32_t end);

// Record k holds k, gpu[k] and reference[(sample_count - k) % sample_count]: the reference
// ran with exponent sign +1, the GPU with -1, so GPU bin k is reference bin N - k.
void write_comparison_table(const kelvane_complex* gpu, const kelvane_complex* reference);

// The whole run, from the floating-point mode to the timing lines. Returns the exit status.
int run_comparison();

} // namespace kelvane::driver
