// The emulated transform's kernels against each other, bit for bit: the AVX-512 groups must
// round every butterfly as the portable ones do, at every shape of group the plans run. And
// where a plan's scratch pages stay: given back after its first execution, kept after others.
#include "dft.hpp"
#include "shared_values.hpp"

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
    // one to three passes. 1000 goes through the chirp's power-of-two transforms.
    std::vector<std::size_t> lengths{1000};
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
