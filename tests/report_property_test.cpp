// The fast formatter against the simple one, over random bit patterns drawn with a fixed seed.
#include "fields.hpp"
#include "float_bits.hpp"
#include "reference_format.hpp"
#include "shared_values.hpp"

#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

using kelvane::test_support::from_bits;
namespace report = kelvane::report;

using kelvane::test_support::seed;
constexpr int patterns_per_class = 1 << 21;

// Counts mismatches and reports the first few, so one fault does not flood the log.
class mismatch_log {
  public:
    void check(std::uint32_t bits, const std::string& fast, const std::string& simple) {
        if (fast == simple) return;
        if (++count_ <= 5)
            ADD_FAILURE() << "bits 0x" << std::hex << bits << ": \"" << fast << "\" vs \"" << simple
                          << "\"";
    }
    int count() const { return count_; }

  private:
    int count_ = 0;
};

void compare_real_fields(std::uint32_t (*draw)(std::mt19937_64&)) {
    std::mt19937_64 generator(seed);
    std::printf("seed %llu\n", static_cast<unsigned long long>(seed));
    mismatch_log log;
    std::string fast(report::real_field_width, ' ');
    for (int i = 0; i < patterns_per_class; ++i) {
        const std::uint32_t bits = draw(generator);
        report::put_real_field(fast.data(), from_bits(bits));
        log.check(bits, fast, kelvane::test_support::reference_real_field(from_bits(bits)));
    }
    EXPECT_EQ(log.count(), 0);
}

TEST(RealFieldProperty, AnyBitPattern) {
    // Mostly the exponent form and the exact path, with NaNs, infinities and subnormals.
    compare_real_fields([](std::mt19937_64& g) { return static_cast<std::uint32_t>(g()); });
}

TEST(RealFieldProperty, FixedFormRange) {
    // Biased exponents 120..151 span [0.0078, 16777216): the 64-bit fast path and both of its
    // borders with the exponent form.
    compare_real_fields([](std::mt19937_64& g) {
        const auto bits = static_cast<std::uint32_t>(g());
        const std::uint32_t exponent = 120 + (bits >> 23) % 32;
        return (bits & 0x807fffffU) | (exponent << 23);
    });
}

TEST(SecondsFieldProperty, PlausibleAndWildSeconds) {
    // Exponents 100..140 cover sub-tick times up to the asterisk range.
    std::mt19937_64 generator(seed);
    mismatch_log log;
    std::string fast(report::timing_value_width, ' ');
    for (int i = 0; i < patterns_per_class; ++i) {
        auto bits = static_cast<std::uint32_t>(generator());
        if (i % 2 == 0) bits = (bits & 0x807fffffU) | ((100 + (bits >> 23) % 41) << 23);
        report::put_seconds_field(fast.data(), from_bits(bits));
        log.check(bits, fast, kelvane::test_support::reference_seconds_field(from_bits(bits)));
    }
    EXPECT_EQ(log.count(), 0);
}

} // namespace
