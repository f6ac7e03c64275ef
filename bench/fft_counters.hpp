// What every FFT benchmark reports beside its time: N for the complexity fit, and the field's
// usual figure, GFLOP/s counted as 5 N log2 N flops a transform.
#pragma once

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>

namespace kelvane::bench {

inline void set_fft_counters(benchmark::State& state, std::int64_t n) {
    state.SetComplexityN(n);
    const double flops = 5.0 * static_cast<double>(n) * std::log2(static_cast<double>(n));
    state.counters["GFLOP/s"] = benchmark::Counter(
        flops * static_cast<double>(state.iterations()) * 1e-9, benchmark::Counter::kIsRate);
}

} // namespace kelvane::bench
