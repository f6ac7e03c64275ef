// The emulated device's transform (cufftExecC2C on device buffers, the plan made before the
// timing) at 2^16 to 2^24 and at the prime 1048573, against FFTW's double-precision ESTIMATE
// plan in the same run; and its double-precision transform (cufftExecZ2Z), checked against
// FFTW's long double. The emulation gains no dependency: FFTW is only the yardstick here.
#include "cuda_runtime_api.h"
#include "cufft.h"
#include "fft_counters.hpp"

#include <benchmark/benchmark.h>
#include <cmath>
#include <complex>
#include <fftw3.h>
#include <random>
#include <vector>

namespace {

std::vector<cufftComplex> random_signal(std::size_t n) {
    std::mt19937_64 generator(42);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<cufftComplex> signal(n);
    for (auto& x : signal)
        x = {value(generator), value(generator)};
    return signal;
}

// The exact spectrum of a signal for the checks, in long double from FFTW.
std::vector<std::complex<long double>> exact_spectrum(const std::vector<cufftComplex>& signal) {
    std::vector<std::complex<long double>> data(signal.size());
    for (std::size_t i = 0; i < signal.size(); ++i)
        data[i] = {signal[i].x, signal[i].y};
    auto* raw = reinterpret_cast<fftwl_complex*>(data.data());
    const fftwl_plan plan =
        fftwl_plan_dft_1d(static_cast<int>(data.size()), raw, raw, FFTW_FORWARD, FFTW_ESTIMATE);
    fftwl_execute(plan);
    fftwl_destroy_plan(plan);
    return data;
}

// The single-precision plan (cufftExecC2C) and the double-precision one (cufftExecZ2Z): what
// each stores, its type, and the relative L2 error its result must stay within.
struct single_precision {
    using sample = cufftComplex;
    static constexpr cufftType type = CUFFT_C2C;
    static constexpr double largest_error = 3e-8;
    static cufftResult execute(cufftHandle plan, void* in, void* out) {
        return cufftExecC2C(plan, static_cast<sample*>(in), static_cast<sample*>(out),
                            CUFFT_FORWARD);
    }
};
struct double_precision {
    using sample = cufftDoubleComplex;
    static constexpr cufftType type = CUFFT_Z2Z;
    static constexpr double largest_error = 1e-16;
    static cufftResult execute(cufftHandle plan, void* in, void* out) {
        return cufftExecZ2Z(plan, static_cast<sample*>(in), static_cast<sample*>(out),
                            CUFFT_FORWARD);
    }
};

template <class Precision>
void emulated_device(benchmark::State& state) {
    using sample = typename Precision::sample;
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<cufftComplex> signal = random_signal(n);
    std::vector<sample> stored(n);
    for (std::size_t i = 0; i < n; ++i)
        stored[i] = {signal[i].x, signal[i].y};
    const std::size_t bytes = n * sizeof(sample);
    void* in = nullptr;
    void* out = nullptr;
    cufftHandle plan = 0;
    if (cudaMalloc(&in, bytes) != cudaSuccess || cudaMalloc(&out, bytes) != cudaSuccess ||
        cudaMemcpy(in, stored.data(), bytes, cudaMemcpyHostToDevice) != cudaSuccess ||
        cufftPlan1d(&plan, static_cast<int>(n), Precision::type, 1) != CUFFT_SUCCESS) {
        state.SkipWithError("the emulated device refused the setup");
        return;
    }
    const auto execute = [&] { return Precision::execute(plan, in, out) == CUFFT_SUCCESS; };
    // The first two executions meet pages the process has not touched, the second because the
    // fast path gives its scratch back after the first: not timed.
    for (int warm_up = 0; warm_up < 2; ++warm_up)
        if (!execute()) state.SkipWithError("the execution failed");
    for (auto _ : state) {
        if (!execute()) state.SkipWithError("the execution failed");
    }
    // The result is checked, not only timed: against the exact spectrum.
    std::vector<sample> result(n);
    cudaMemcpy(result.data(), out, bytes, cudaMemcpyDeviceToHost);
    const auto expected = exact_spectrum(signal);
    long double error = 0.0L;
    long double norm = 0.0L;
    for (std::size_t k = 0; k < n; ++k) {
        error += std::norm(std::complex<long double>(result[k].x, result[k].y) - expected[k]);
        norm += std::norm(expected[k]);
    }
    const auto relative = static_cast<double>(std::sqrt(error / norm));
    state.counters["rel_l2"] = relative;
    if (relative > Precision::largest_error)
        state.SkipWithError("the spectrum is not exact enough");
    cufftDestroy(plan);
    cudaFree(in);
    cudaFree(out);
    kelvane::bench::set_fft_counters(state, static_cast<std::int64_t>(n));
}

void fftw_double_estimate(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    auto* in = fftw_alloc_complex(n);
    auto* out = fftw_alloc_complex(n);
    const fftw_plan plan =
        fftw_plan_dft_1d(static_cast<int>(n), in, out, FFTW_FORWARD, FFTW_ESTIMATE);
    const std::vector<cufftComplex> signal = random_signal(n);
    for (std::size_t i = 0; i < n; ++i) {
        in[i][0] = signal[i].x;
        in[i][1] = signal[i].y;
    }
    fftw_execute(plan); // as for the device: the output's first touch is not timed
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
    kelvane::bench::set_fft_counters(state, static_cast<std::int64_t>(n));
}

constexpr std::int64_t large_prime = 1048573;

void sizes(benchmark::internal::Benchmark* benchmark) {
    benchmark->RangeMultiplier(4)
        ->Range(1 << 16, 1 << 24)
        ->Arg(large_prime)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

BENCHMARK(emulated_device<single_precision>)->Name("emulated_device")->Apply(sizes);
BENCHMARK(fftw_double_estimate)->Apply(sizes);
BENCHMARK(emulated_device<double_precision>)
    ->Name("emulated_device_double")
    ->Arg(1 << 16)
    ->Arg(1 << 20)
    ->Arg(large_prime)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
