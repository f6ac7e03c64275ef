// The verifier's yardstick and its measures: the exact spectrum against a direct long-double
// sum, and the error norms on fixtures small enough to work out by hand.
#include "accuracy.hpp"
#include "exact_transform.hpp"
#include "shared_values.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace {

using kelvane::verify::exact_complex;

TEST(ExactSpectrum, AgreesWithADirectLongDoubleSum) {
    // The yardstick must be exact far beyond single precision: relative L2 error <= 1e-15
    // against the plain O(n^2) sum with every twiddle from its own reduced angle.
    std::mt19937_64 random(kelvane::test_support::seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::printf("seed %llu\n", static_cast<unsigned long long>(kelvane::test_support::seed));
    for (const std::size_t n : {1U, 2U, 8U, 64U, 1024U}) {
        std::vector<kelvane_complex> signal(n);
        for (auto& x : signal)
            x = {uniform(random), uniform(random)};
        const auto fast = kelvane::verify::exact_spectrum(signal);
        long double difference = 0.0L;
        long double norm = 0.0L;
        for (std::size_t k = 0; k < n; ++k) {
            exact_complex sum = 0.0L;
            for (std::size_t j = 0; j < n; ++j) {
                const long double angle = -2.0L * std::numbers::pi_v<long double> *
                                          static_cast<long double>(j * k % n) /
                                          static_cast<long double>(n);
                sum += exact_complex{signal[j].re, signal[j].im} *
                       exact_complex{std::cos(angle), std::sin(angle)};
            }
            difference += std::norm(fast[k] - sum);
            norm += std::norm(sum);
        }
        const double relative = static_cast<double>(std::sqrt(difference / norm));
        std::printf("n = %zu: relative L2 error of the yardstick %.3g\n", n, relative);
        EXPECT_LE(relative, 1e-15) << n;
    }
}

TEST(ErrorNorms, OneWrongBinGivesTheNormsWorkedOutByHand) {
    // |exact| = 5, 0, 1, 1: sum 7, sum of squares 27, largest 5. Bin 2 is off by 0.5.
    const std::vector<exact_complex> exact = {{3, 4}, {0, 0}, {1, 0}, {0, 1}};
    const std::vector<kelvane_complex> spectrum = {{3, 4}, {0, 0}, {1, 0.5f}, {0, 1}};
    const auto norms = kelvane::verify::compare(spectrum, exact);
    EXPECT_DOUBLE_EQ(norms.rel_l1, 0.5 / 7.0);
    EXPECT_DOUBLE_EQ(norms.rel_l2, std::sqrt(0.25 / 27.0));
    EXPECT_DOUBLE_EQ(norms.rel_linf, 0.5 / 5.0);
    EXPECT_EQ(norms.linf_bin, 2U);
    // Against a second approximation, the scale stays the exact spectrum's.
    const std::vector<kelvane_complex> other = {{3, 4}, {0, 0}, {1, 0}, {0, 1.25f}};
    const auto between = kelvane::verify::compare(spectrum, other, exact);
    EXPECT_DOUBLE_EQ(between.rel_l1, 0.75 / 7.0);
    EXPECT_DOUBLE_EQ(between.rel_linf, 0.5 / 5.0);
    EXPECT_EQ(between.linf_bin, 2U);
}

TEST(ErrorNorms, NotANumberPassesNoTolerance) {
    // A spectrum with NaN must fail, and its NaN bin must be the one named.
    const std::vector<exact_complex> exact = {{1, 0}, {2, 0}, {3, 0}};
    const std::vector<kelvane_complex> spectrum = {
        {1.5f, 0}, {std::numeric_limits<float>::quiet_NaN(), 0}, {3, 9}};
    const auto norms = kelvane::verify::compare(spectrum, exact);
    EXPECT_FALSE(norms.rel_l2 <= 1.0);
    EXPECT_FALSE(norms.rel_linf <= 1.0);
    EXPECT_EQ(norms.linf_bin, 1U);
    const auto worst = kelvane::verify::worst_bins(spectrum, exact, 2);
    EXPECT_EQ(worst, (std::vector<std::size_t>{1, 2}));
}

TEST(ExpectedLevel, IsEpsilonTimesTheRootOfTheStageCount) {
    struct row {
        std::size_t n;
        double level;
    };
    const row rows[] = {
        {1, 0x1p-24},       // no stage still rounds once
        {2, 0x1p-24},       // one stage
        {1 << 16, 0x1p-22}, // sqrt(16) = 4
        {1 << 20, 0x1p-24 * std::sqrt(20.0)},
    };
    for (const auto& [n, level] : rows)
        EXPECT_DOUBLE_EQ(kelvane::verify::expected_level(n), level) << n;
    const auto limits = kelvane::verify::default_tolerances(1 << 16);
    EXPECT_DOUBLE_EQ(limits.rel_l2, kelvane::verify::default_l2_multiple * 0x1p-22);
    EXPECT_DOUBLE_EQ(limits.rel_linf, kelvane::verify::default_linf_multiple * 0x1p-22);
}

} // namespace
