// ostrel and c2c_1d on the emulated device.
#include "c2c_1d.h"
#include "child_process.hpp"
#include "kelvane_emu.h"
#include "reference_transforms.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <gtest/gtest.h>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

using samples = std::vector<kelvane_complex>;

std::string device_caller() {
    return KELVANE_DEVICE_CALLER;
}

kelvane::test_support::child_result call_in_fresh_process(const std::string& entry, std::int32_t n,
                                                          const std::string& faults,
                                                          bool census = false) {
    std::vector<std::string> arguments = {device_caller(), entry, std::to_string(n)};
    if (census) arguments.emplace_back("census");
    return kelvane::test_support::run_program(arguments, {"KELVANE_EMU_FAIL=" + faults});
}

samples impulse(std::int32_t n) {
    samples x(static_cast<std::size_t>(n), kelvane_complex{0.0f, 0.0f});
    x[0].re = 1.0f;
    return x;
}

TEST(DeviceFailures, EachCheckedCallEndsTheProcessWithItsLine) {
    // The fault is injected into one call at a time; the line names the unit and the check.
    struct row {
        const char* fault;
        const char* line;
    };
    const row rows[] = {
        {"cudaMallocHost:1:2", "c2c_1d(11) : cudaSafeCall() Runtime API error : out of memory.\n"},
        {"cudaMallocHost:2:35",
         "c2c_1d(12) : cudaSafeCall() Runtime API error : CUDA driver version is insufficient "
         "for CUDA runtime version.\n"},
        {"cudaMalloc:1:2", "ostrel(17) : cudaSafeCall() Runtime API error : out of memory.\n"},
        {"cudaMalloc:2:2", "ostrel(18) : cudaSafeCall() Runtime API error : out of memory.\n"},
        {"cudaMemcpy:1:1", "ostrel(19) : cudaSafeCall() Runtime API error : invalid argument.\n"},
        {"cufftPlan1d:1:5", "ostrel(20) : cufftSafeCall() CUFFT error.\n"},
        {"cufftExecC2C:1:6", "ostrel(21) : cufftSafeCall() CUFFT error.\n"},
        {"cudaMemcpy:2:700",
         "ostrel(22) : cudaSafeCall() Runtime API error : an illegal memory access was "
         "encountered.\n"},
    };
    for (const auto& [fault, line] : rows) {
        const auto result = call_in_fresh_process("c2c_1d", 64, fault);
        EXPECT_EQ(result.exit_status, 255) << fault;
        EXPECT_EQ(result.err, line) << fault;
        EXPECT_EQ(result.out, "") << fault;
    }
}

TEST(DeviceFailures, ReleasesAreNotChecked) {
    // A failing release changes nothing: the spectrum is already in place.
    for (const char* fault : {"cudaFree:1:1", "cudaFree:2:17", "cufftDestroy:1:1",
                              "cudaFreeHost:1:1", "cudaFreeHost:2:1"}) {
        const auto result = call_in_fresh_process("c2c_1d", 64, fault);
        EXPECT_EQ(result.exit_status, 0) << fault;
        EXPECT_EQ(result.out, "spectrum ok\n") << fault;
        EXPECT_EQ(result.err, "") << fault;
    }
}

TEST(DeviceFailures, EarlierResourcesStayUntilTheProcessEnds) {
    // A fatal check releases nothing: the first device buffer and both page-locked buffers
    // are still held when the exit handlers run.
    const auto result = call_in_fresh_process("c2c_1d", 64, "cudaMalloc:2:2", true);
    EXPECT_EQ(result.exit_status, 255);
    EXPECT_EQ(result.out, "at exit: 1 device buffers, 2 page-locked buffers, 0 plans\n");
}

TEST(DeviceFailures, CountsBelowOneGoThroughTheRealChecks) {
    // Nothing guards the count: zero reaches the plan, a negative one an impossible size.
    struct row {
        const char* entry;
        std::int32_t n;
        const char* line;
    };
    const row rows[] = {
        {"fft_1d_c2c", 0, "ostrel(20) : cufftSafeCall() CUFFT error.\n"},
        {"c2c_1d", 0, "ostrel(20) : cufftSafeCall() CUFFT error.\n"},
        {"fft_1d_c2c", -1, "ostrel(17) : cudaSafeCall() Runtime API error : out of memory.\n"},
        {"c2c_1d", -1, "c2c_1d(11) : cudaSafeCall() Runtime API error : out of memory.\n"},
        {"c2c_1d", INT32_MIN, "c2c_1d(11) : cudaSafeCall() Runtime API error : out of memory.\n"},
    };
    for (const auto& [entry, n, line] : rows) {
        const auto result = call_in_fresh_process(entry, n, "");
        EXPECT_EQ(result.exit_status, 255) << entry << " " << n;
        EXPECT_EQ(result.err, line) << entry << " " << n;
        EXPECT_EQ(result.out, "") << entry << " " << n;
    }
}

TEST(DeviceFailures, HostMemoryRunningOutIsAStatusNotAnAbort) {
    // The emulated library reserves its work area when the plan is made. Host memory that
    // runs out there must come back as CUFFT_ALLOC_FAILED, so the bridge prints its line; an
    // exception crossing the C interface would abort with no line. The caller's own 256 MiB
    // and the device buffers fit in 683 MiB; the plan's 288 MiB of work do not.
    const std::string n = std::to_string(1 << 24);
    const auto result = kelvane::test_support::run_program(
        {"/bin/sh", "-c", "ulimit -v 700000 && exec \"$0\" fft_1d_c2c " + n,
         KELVANE_UNSANITIZED_DEVICE_CALLER});
    EXPECT_EQ(result.exit_status, 255);
    EXPECT_EQ(result.err, "ostrel(20) : cufftSafeCall() CUFFT error.\n");
    EXPECT_EQ(result.out, "");
}

TEST(DeviceCalls, SuccessiveCallsShareNothing) {
    // Each call creates and destroys its own plan and buffers.
    const std::int32_t n = 256;
    const samples in = impulse(n);
    for (int call = 1; call <= 2; ++call) {
        samples out(static_cast<std::size_t>(n));
        const kelvane_emu_census before = kelvane_emu_take_census();
        c2c_1d_(&n, in.data(), out.data());
        const kelvane_emu_census after = kelvane_emu_take_census();
        EXPECT_EQ(after.calls_cufftPlan1d, before.calls_cufftPlan1d + 1);
        EXPECT_EQ(after.calls_cudaMallocHost, before.calls_cudaMallocHost + 2);
        EXPECT_EQ(after.device_buffers, 0U);
        EXPECT_EQ(after.pinned_buffers, 0U);
        EXPECT_EQ(after.plans, 0U);
        EXPECT_EQ(out[static_cast<std::size_t>(n) - 1].re, 1.0f) << "call " << call;
    }
}

TEST(DeviceCalls, InputIsReadOnlyAndOutputGetsExactlyNSamples) {
    const std::int32_t n = 1000;
    std::mt19937_64 generator(7);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    samples in(static_cast<std::size_t>(n));
    for (auto& x : in)
        x = {value(generator), value(generator)};
    const samples original = in;
    constexpr std::size_t guard = 16;
    samples out(static_cast<std::size_t>(n) + guard, kelvane_complex{-3.0f, -3.0f});
    c2c_1d_(&n, in.data(), out.data());
    EXPECT_EQ(std::memcmp(in.data(), original.data(), in.size() * sizeof(kelvane_complex)), 0);
    for (std::size_t k = static_cast<std::size_t>(n); k < out.size(); ++k)
        EXPECT_TRUE(out[k].re == -3.0f && out[k].im == -3.0f) << "sample " << k;
    EXPECT_NE(out[static_cast<std::size_t>(n) - 1].re, -3.0f);
}

TEST(DeviceSpectra, ImpulseAndPureTones) {
    // An impulse gives exact ones at power-of-two lengths; a tone exp(2*pi*i*f*j/n) puts n into
    // bin f and nothing elsewhere, at any length.
    for (const std::int32_t n : {1, 2, 8, 4096}) {
        const samples in = impulse(n);
        samples out(static_cast<std::size_t>(n));
        fft_1d_c2c_(&n, in.data(), out.data());
        for (const auto& bin : out)
            ASSERT_TRUE(bin.re == 1.0f && bin.im == 0.0f) << "impulse, n " << n;
    }
    for (const auto& [n, frequency] :
         {std::pair{64, 5}, std::pair{4096, 1000}, std::pair{1000, 3}}) {
        samples in(static_cast<std::size_t>(n));
        for (std::int32_t j = 0; j < n; ++j) {
            const double angle = 2 * std::numbers::pi * frequency * j / n;
            in[static_cast<std::size_t>(j)] = {static_cast<float>(std::cos(angle)),
                                               static_cast<float>(std::sin(angle))};
        }
        samples out(static_cast<std::size_t>(n));
        fft_1d_c2c_(&n, in.data(), out.data());
        for (std::int32_t k = 0; k < n; ++k) {
            const auto& bin = out[static_cast<std::size_t>(k)];
            const double expected = k == frequency ? n : 0.0;
            EXPECT_NEAR(bin.re, expected, 1e-4 * n) << "tone " << frequency << ", bin " << k;
            EXPECT_NEAR(bin.im, 0.0, 1e-4 * n) << "tone " << frequency << ", bin " << k;
        }
    }
}

// Units in the last place of single precision between a float and an exact value.
double ulps_from(float value, long double exact) {
    const float nearest = static_cast<float>(exact);
    const float ulp = std::nextafter(std::fabs(nearest), INFINITY) - std::fabs(nearest);
    return static_cast<double>(std::fabs(static_cast<long double>(value) - exact) / ulp);
}

TEST(DeviceSpectra, RoundedOnceFromAnExactTransform) {
    // The emulation's error is all but the final rounding to single precision: an rms
    // relative error near 2.5e-8, well below four1's 1.2e-7 to 1.8e-7, and no element more
    // than half a unit in the last place from the exact value, plus the double-precision
    // computation's own error, which is far below a thousandth of a unit at these sizes.
    for (const std::int32_t n : {1024, 1000, 65536, 1 << 20}) {
        std::mt19937_64 generator(static_cast<std::uint64_t>(n));
        std::uniform_real_distribution<float> value(-1.0f, 1.0f);
        std::vector<float> interleaved(2 * static_cast<std::size_t>(n));
        for (auto& x : interleaved)
            x = value(generator);
        samples in(static_cast<std::size_t>(n));
        std::memcpy(in.data(), interleaved.data(), interleaved.size() * sizeof(float));
        samples out(static_cast<std::size_t>(n));
        fft_1d_c2c_(&n, in.data(), out.data());
        std::vector<float> result(interleaved.size());
        std::memcpy(result.data(), out.data(), result.size() * sizeof(float));
        const auto reference = n == 1000
                                   ? kelvane::test_support::long_double_dft_direct(interleaved, -1)
                                   : kelvane::test_support::long_double_dft(interleaved, -1);
        const double error = kelvane::test_support::rms_relative_error(result, reference);
        double worst = 0.0;
        for (std::size_t k = 0; k < reference.size(); ++k)
            worst = std::max({worst, ulps_from(result[2 * k], reference[k].real()),
                              ulps_from(result[2 * k + 1], reference[k].imag())});
        std::printf("emulated transform, n %d: rms relative error %.3g, worst element %.3g ulp\n",
                    n, error, worst);
        EXPECT_LT(error, 3e-8) << "n " << n;
        EXPECT_LE(worst, 0.501) << "n " << n;
    }
}

} // namespace
