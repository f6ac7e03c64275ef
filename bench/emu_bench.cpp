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

// FFTW's forward transform of the same signal in double precision, for checks.
std::vector<std::complex<double>> fftw_spectrum(const std::vector<cufftComplex>& signal) {
    const std::size_t n = signal.size();
    std::vector<std::complex<double>> data(n);
    for (std::size_t i = 0; i < n; ++i)
        data[i] = {signal[i].x, signal[i].y};
    auto* raw = reinterpret_cast<fftw_complex*>(data.data());
    const fftw_plan plan =
        fftw_plan_dft_1d(static_cast<int>(n), raw, raw, FFTW_FORWARD, FFTW_ESTIMATE);
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    return data;
}

void emulated_device(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<cufftComplex> signal = random_signal(n);
    void* in = nullptr;
    void* out = nullptr;
    cufftHandle plan = 0;
    if (cudaMalloc(&in, n * sizeof(cufftComplex)) != cudaSuccess ||
        cudaMalloc(&out, n * sizeof(cufftComplex)) != cudaSuccess ||
        cudaMemcpy(in, signal.data(), n * sizeof(cufftComplex), cudaMemcpyHostToDevice) !=
            cudaSuccess ||
        cufftPlan1d(&plan, static_cast<int>(n), CUFFT_C2C, 1) != CUFFT_SUCCESS) {
        state.SkipWithError("the emulated device refused the setup");
        return;
    }
    const auto execute = [&] {
        return cufftExecC2C(plan, static_cast<cufftComplex*>(in), static_cast<cufftComplex*>(out),
                            CUFFT_FORWARD) == CUFFT_SUCCESS;
    };
    // The first two executions meet pages the process has not touched, the second because the
    // plan gives its scratch back after the first: not timed.
    for (int warm_up = 0; warm_up < 2; ++warm_up)
        if (!execute()) state.SkipWithError("the execution failed");
    for (auto _ : state) {
        if (!execute()) state.SkipWithError("the execution failed");
    }
    // The result is checked, not only timed: within single-precision rounding of FFTW's.
    std::vector<cufftComplex> result(n);
    cudaMemcpy(result.data(), out, n * sizeof(cufftComplex), cudaMemcpyDeviceToHost);
    const auto expected = fftw_spectrum(signal);
    double error = 0.0;
    double norm = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        error += std::norm(std::complex<double>(result[k].x, result[k].y) - expected[k]);
        norm += std::norm(expected[k]);
    }
    if (std::sqrt(error / norm) > 1e-7) state.SkipWithError("the spectrum disagrees with FFTW's");
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

// The double-precision plan, computed in long double: its relative L2 error against FFTW's
// long-double transform must stay within 1e-16.
void emulated_device_double(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<cufftComplex> single = random_signal(n);
    std::vector<cufftDoubleComplex> signal(n);
    for (std::size_t i = 0; i < n; ++i)
        signal[i] = {single[i].x, single[i].y};
    void* in = nullptr;
    void* out = nullptr;
    cufftHandle plan = 0;
    const std::size_t bytes = n * sizeof(cufftDoubleComplex);
    if (cudaMalloc(&in, bytes) != cudaSuccess || cudaMalloc(&out, bytes) != cudaSuccess ||
        cudaMemcpy(in, signal.data(), bytes, cudaMemcpyHostToDevice) != cudaSuccess ||
        cufftPlan1d(&plan, static_cast<int>(n), CUFFT_Z2Z, 1) != CUFFT_SUCCESS) {
        state.SkipWithError("the emulated device refused the setup");
        return;
    }
    const auto execute = [&] {
        return cufftExecZ2Z(plan, static_cast<cufftDoubleComplex*>(in),
                            static_cast<cufftDoubleComplex*>(out), CUFFT_FORWARD) == CUFFT_SUCCESS;
    };
    if (!execute()) state.SkipWithError("the execution failed");
    for (auto _ : state) {
        if (!execute()) state.SkipWithError("the execution failed");
    }
    std::vector<cufftDoubleComplex> result(n);
    cudaMemcpy(result.data(), out, bytes, cudaMemcpyDeviceToHost);
    std::vector<std::complex<long double>> exact(n);
    for (std::size_t i = 0; i < n; ++i)
        exact[i] = {signal[i].x, signal[i].y};
    auto* raw = reinterpret_cast<fftwl_complex*>(exact.data());
    const fftwl_plan yardstick =
        fftwl_plan_dft_1d(static_cast<int>(n), raw, raw, FFTW_FORWARD, FFTW_ESTIMATE);
    fftwl_execute(yardstick);
    fftwl_destroy_plan(yardstick);
    long double error = 0.0L;
    long double norm = 0.0L;
    for (std::size_t k = 0; k < n; ++k) {
        error += std::norm(std::complex<long double>(result[k].x, result[k].y) - exact[k]);
        norm += std::norm(exact[k]);
    }
    const auto relative = static_cast<double>(std::sqrt(error / norm));
    state.counters["rel_l2"] = relative;
    if (relative > 1e-16) state.SkipWithError("the spectrum disagrees with FFTW's long double");
    cufftDestroy(plan);
    cudaFree(in);
    cudaFree(out);
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

BENCHMARK(emulated_device)->Apply(sizes);
BENCHMARK(fftw_double_estimate)->Apply(sizes);
BENCHMARK(emulated_device_double)
    ->Arg(1 << 16)
    ->Arg(1 << 20)
    ->Arg(large_prime)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
