// The reference transform at every power of two from 2^4 to 2^24: the fast routine on its best
// path (and on the AVX path at a few sizes, for processors without AVX-512), and FFTW's
// single-precision MEASURE plan where FFTW is installed (its planning not timed), both in place and
// in one binary so that ratios come from one run; the plain loop nest at a few sizes. Each
// iteration copies the input back first; the copy is a few percent of the fastest transform.
// GFLOP/s counts 5 N log2 N flops a transform, the field's figure.
#include "fft_counters.hpp"
#include "four1_fast.hpp"
#include "four1_plain.hpp"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#ifdef KELVANE_HAVE_FFTW
#include <fftw3.h>
#endif

namespace {

using kelvane::reference::four1_path;

std::vector<float> random_input(std::int32_t count) {
    std::mt19937_64 generator(42);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<float> data(2 * static_cast<std::size_t>(count));
    for (auto& x : data)
        x = value(generator);
    return data;
}

std::vector<float> plain_result(const std::vector<float>& input, std::int32_t count) {
    std::vector<float> result = input;
    kelvane::reference::four1_plain(result.data(), count, 1);
    return result;
}

// Times `transform` on a fresh copy of the input each iteration; `check` then judges the last
// result against the plain transform and names what is wrong, if anything.
template <class Transform, class Check>
void time_transform(benchmark::State& state, float* data, Transform transform, Check check) {
    const auto count = static_cast<std::int32_t>(state.range(0));
    const std::vector<float> input = random_input(count);
    for (auto _ : state) {
        std::memcpy(data, input.data(), input.size() * sizeof(float));
        transform();
        benchmark::DoNotOptimize(data);
        benchmark::ClobberMemory();
    }
    if (const char* problem = check(plain_result(input, count), data)) state.SkipWithError(problem);
    kelvane::bench::set_fft_counters(state, count);
}

const char* bit_identical(const std::vector<float>& expected, const float* data) {
    return std::memcmp(expected.data(), data, expected.size() * sizeof(float)) == 0
               ? nullptr
               : "the result differs from the plain transform";
}

void four1_on_path(benchmark::State& state, four1_path path) {
    if (!kelvane::reference::four1_path_available(path)) {
        state.SkipWithError("this processor lacks the path");
        return;
    }
    const auto count = static_cast<std::int32_t>(state.range(0));
    state.SetLabel(kelvane::reference::four1_path_name(path));
    std::vector<float> data(2 * static_cast<std::size_t>(count));
    time_transform(
        state, data.data(), [&] { kelvane::reference::four1_fast(data.data(), count, 1, path); },
        bit_identical);
}

void four1_plain(benchmark::State& state) {
    const auto count = static_cast<std::int32_t>(state.range(0));
    std::vector<float> data(2 * static_cast<std::size_t>(count));
    time_transform(
        state, data.data(), [&] { kelvane::reference::four1_plain(data.data(), count, 1); },
        bit_identical);
}

#ifdef KELVANE_HAVE_FFTW
// The same transform (exponent sign +1, in place) by FFTW: equal up to rounding.
void fftw_measure(benchmark::State& state) {
    const auto count = static_cast<std::int32_t>(state.range(0));
    auto* data = fftwf_alloc_complex(static_cast<std::size_t>(count));
    const fftwf_plan plan = fftwf_plan_dft_1d(count, data, data, FFTW_BACKWARD, FFTW_MEASURE);
    time_transform(
        state, reinterpret_cast<float*>(data), [&] { fftwf_execute(plan); },
        [count](const std::vector<float>& expected, const float* result) -> const char* {
            double error = 0;
            double norm = 0;
            for (std::size_t i = 0; i < 2 * static_cast<std::size_t>(count); ++i) {
                error += std::pow(double{result[i]} - expected[i], 2);
                norm += std::pow(double{expected[i]}, 2);
            }
            return std::sqrt(error / norm) < 1e-6 ? nullptr : "FFTW disagrees with four1";
        });
    fftwf_destroy_plan(plan);
    fftwf_free(data);
}
#endif

void every_size(benchmark::internal::Benchmark* benchmark) {
    for (int log2 = 4; log2 <= 24; ++log2)
        benchmark->Arg(std::int64_t{1} << log2);
    benchmark->Complexity(benchmark::oNLogN)->Unit(benchmark::kMicrosecond)->UseRealTime();
}

void some_sizes(benchmark::internal::Benchmark* benchmark) {
    benchmark->RangeMultiplier(16)
        ->Range(1 << 10, 1 << 22)
        ->Complexity(benchmark::oNLogN)
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
}

void four1_fast(benchmark::State& state) {
    four1_on_path(state, kelvane::reference::four1_best_path());
}

// The AVX path where the best is AVX-512: what processors without AVX-512 get.
void four1_avx(benchmark::State& state) {
    four1_on_path(state, four1_path::avx);
}

BENCHMARK(four1_fast)->Apply(every_size);
BENCHMARK(four1_avx)->Apply(some_sizes);
BENCHMARK(four1_plain)->Apply(some_sizes);
#ifdef KELVANE_HAVE_FFTW
BENCHMARK(fftw_measure)->Apply(every_size);
#endif

} // namespace

BENCHMARK_MAIN();
