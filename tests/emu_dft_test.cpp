// The emulated transform's fast path against itself and against the engine: the AVX-512 groups
// must round every butterfly as the portable ones do, at every shape of group the plans run,
// and the fast path must give what the plain engine gives, to the last bit but for rare ties.
// And where a plan's scratch pages stay: given back after its first execution, kept after
// others.
#include "dft.hpp"
#include "fft_engine.hpp"
#include "shared_values.hpp"

#include <cmath>
#include <complex>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

using kelvane::emu::dft_path;
using kelvane::emu::transform_plan;

std::vector<cufftComplex> random_samples(std::size_t count) {
    std::mt19937_64 generator(kelvane::test_support::seed + count);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<cufftComplex> samples(count);
    for (auto& sample : samples)
        sample = {value(generator), value(generator)};
    return samples;
}

TEST(EmulatedDftPaths, EveryPathGivesThePortableBits) {
    if (!kelvane::emu::dft_path_available(dft_path::avx512))
        GTEST_SKIP() << "this processor lacks AVX-512";
    // Powers of two to 2^20 take every group shape: within the cached blocks and over memory,
    // one to three passes.
    std::vector<std::size_t> lengths;
    for (std::size_t length = 1; length <= (std::size_t{1} << 20); length *= 2)
        lengths.push_back(length);
    for (const std::size_t length : lengths) {
        const std::vector<cufftComplex> in = random_samples(length);
        for (const int sign : {-1, 1}) {
            std::vector<cufftComplex> portable(length);
            std::vector<cufftComplex> vector(length);
            transform_plan(length, dft_path::portable).execute(in.data(), portable.data(), sign);
            transform_plan(length, dft_path::avx512).execute(in.data(), vector.data(), sign);
            EXPECT_EQ(std::memcmp(portable.data(), vector.data(), length * sizeof(cufftComplex)), 0)
                << "length " << length << ", sign " << sign;
        }
    }
}

TEST(EmulatedDftPaths, FastPathGivesTheGenericEnginesResult) {
    // The generic mixed-radix engine, in long double, rounded to single precision: both round a
    // far more precise result once, so they differ only where that result lies at a rounding
    // boundary, by one unit in the last place at the bin's magnitude.
    for (std::size_t length = 1; length <= (std::size_t{1} << 20); length *= 4) {
        const std::vector<cufftComplex> in = random_samples(length);
        for (const int sign : {-1, 1}) {
            std::vector<cufftComplex> fast(length);
            transform_plan(length).execute(in.data(), fast.data(), sign);
            std::vector<std::complex<long double>> engine(length);
            kelvane::emu::fft_engine<long double>(length).transform(
                [&in](std::size_t j) { return std::complex<long double>(in[j].x, in[j].y); },
                engine.data(), sign);
            std::size_t differing = 0;
            for (std::size_t k = 0; k < length; ++k) {
                const auto magnitude = static_cast<float>(std::abs(engine[k]));
                const float unit = std::nextafter(magnitude, INFINITY) - magnitude;
                const float expected[2] = {static_cast<float>(engine[k].real()),
                                           static_cast<float>(engine[k].imag())};
                const float got[2] = {fast[k].x, fast[k].y};
                for (int part = 0; part < 2; ++part) {
                    ASSERT_LE(std::fabs(got[part] - expected[part]), unit)
                        << "length " << length << ", sign " << sign << ", bin " << k;
                    differing += got[part] != expected[part] ? 1U : 0U;
                }
            }
            EXPECT_LE(differing, length / 100 + 1) << "length " << length << ", sign " << sign;
        }
    }
}

// Resident bytes of this process, from /proc/self/statm.
std::size_t resident_bytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t total_pages = 0;
    std::size_t resident_pages = 0;
    statm >> total_pages >> resident_pages;
    return resident_pages * 4096;
}

TEST(EmulatedDftMemory, ScratchGoesBackAfterTheFirstExecutionAndStaysAfterLaterOnes) {
    // 2^22 samples: 64 MiB of scratch, against 32 MiB for each buffer, which are touched first.
    constexpr std::size_t length = std::size_t{1} << 22;
    constexpr std::size_t scratch = length * 16;
    const std::vector<cufftComplex> in = random_samples(length);
    std::vector<cufftComplex> out(length, cufftComplex{1.0f, 1.0f});
    transform_plan plan(length);
    const std::size_t before = resident_bytes();
    plan.execute(in.data(), out.data(), -1);
    const std::size_t after_first = resident_bytes();
    plan.execute(in.data(), out.data(), -1);
    const std::size_t after_second = resident_bytes();
    EXPECT_LT(after_first, before + scratch / 4) << "the first execution kept its scratch";
    EXPECT_GT(after_second, before + scratch * 3 / 4) << "a second execution gave its scratch back";
}

} // namespace
