// The fast transform against the plain loop nest, bit for bit, on every code path the
// dispatcher can choose. Sizes 2^0 to 2^21 by default: 2^21 is the first count with a group of
// three passes all beyond the twiddle table, and larger counts only repeat the shapes of groups
// seen below. KELVANE_FOUR1_LARGEST_LOG2 (up to 29) takes the sweep further.
#include "float_bits.hpp"
#include "floating_point_mode.hpp"
#include "four1_fast.hpp"
#include "four1_plain.hpp"
#include "shared_values.hpp"

#include <cmath>
#include <cpuid.h>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

using kelvane::reference::four1_path;
using kelvane::test_support::from_bits;

using kelvane::test_support::seed;

enum class data_kind {
    uniform,   // finite values in [-1, 1]
    wide,      // magnitudes from 2^-60 to 2^60, where products over- and underflow nowhere
    subnormal, // tiny values: inputs and results in the subnormal range
    special,   // infinities, NaNs with payloads, zeros and huge values whose products overflow
};

std::vector<float> make_data(data_kind kind, std::int32_t count) {
    std::mt19937_64 generator(seed + static_cast<std::uint64_t>(count));
    std::vector<float> data(2 * static_cast<std::size_t>(count));
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    for (auto& x : data) {
        const auto bits = static_cast<std::uint32_t>(generator());
        switch (kind) {
        case data_kind::uniform:
            x = unit(generator);
            break;
        case data_kind::wide:
            x = from_bits((bits & 0x807fffffU) | ((67 + (bits >> 23) % 121) << 23));
            break;
        case data_kind::subnormal:
            // Biased exponents 0 to 4: subnormal inputs and neighbours that sum into them.
            x = from_bits((bits & 0x807fffffU) | (((bits >> 23) % 5) << 23));
            break;
        case data_kind::special: {
            // Which NaN a sum passes on, and the sign of an infinity, show whether each lane
            // keeps the scalar code's operands and their order.
            const std::uint32_t sign_bit = bits & 0x80000000U;
            switch (bits % 8) {
            case 0:
                x = from_bits(sign_bit | 0x7f800000U);
                break;
            case 1:
                x = from_bits(sign_bit | 0x7fc00000U | ((bits >> 3) & 0x3fffffU));
                break;
            case 2:
                x = from_bits(sign_bit);
                break;
            default:
                x = from_bits(sign_bit | ((227 + (bits >> 23) % 27) << 23) |
                              ((bits >> 3) & 0x7fffffU));
                break;
            }
            break;
        }
        }
    }
    return data;
}

int largest_log2() {
    const char* setting = std::getenv("KELVANE_FOUR1_LARGEST_LOG2");
    return setting == nullptr ? 21 : std::clamp(std::atoi(setting), 0, 29);
}

struct identity_case {
    std::int32_t sign;
    bool flush_to_zero;
    data_kind kind;
};

std::string name_of(const identity_case& c) {
    const char* kinds[] = {"uniform", "wide", "subnormal", "special"};
    return std::string(kinds[static_cast<int>(c.kind)]) + (c.sign > 0 ? "_plus" : "_minus") +
           (c.flush_to_zero ? "_flush_to_zero" : "_ieee");
}

std::string case_name(const testing::TestParamInfo<identity_case>& info) {
    return name_of(info.param);
}

// GoogleTest shows each case by this name, not by its bytes.
void PrintTo(const identity_case& c, std::ostream* out) {
    *out << name_of(c);
}

// The same bits, or both NaN: which of two NaN operands an operation passes on is the
// compiler's choice of operand order, in the plain loop nest as much as in the fast one.
bool same_value(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

class Four1FastIdentity : public testing::TestWithParam<identity_case> {};

TEST_P(Four1FastIdentity, EveryPathMatchesThePlainTransform) {
    const auto [sign, flush_to_zero, kind] = GetParam();
    const kelvane::test_support::flush_to_zero_scope mode(flush_to_zero);
    for (int log2_count = 0; log2_count <= largest_log2(); ++log2_count) {
        const std::int32_t count = std::int32_t{1} << log2_count;
        const std::vector<float> input = make_data(kind, count);
        std::vector<float> expected = input;
        kelvane::reference::four1_plain(expected.data(), count, sign);
        for (const four1_path path : {four1_path::scalar, four1_path::avx, four1_path::avx512}) {
            if (!kelvane::reference::four1_path_available(path)) continue;
            std::vector<float> actual = input;
            kelvane::reference::four1_fast(actual.data(), count, sign, path);
            const auto mismatch =
                std::mismatch(actual.begin(), actual.end(), expected.begin(), same_value);
            EXPECT_EQ(mismatch.first, actual.end())
                << kelvane::reference::four1_path_name(path) << " path, count 2^" << log2_count
                << ", first difference at value " << (mismatch.first - actual.begin());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllModes, Four1FastIdentity,
                         testing::ValuesIn(std::vector<identity_case>{
                             {1, false, data_kind::uniform},
                             {-1, false, data_kind::uniform},
                             {1, true, data_kind::uniform},
                             {-1, true, data_kind::uniform},
                             {1, false, data_kind::wide},
                             {-1, true, data_kind::wide},
                             {1, false, data_kind::subnormal},
                             {-1, false, data_kind::subnormal},
                             {1, true, data_kind::subnormal},
                             {-1, true, data_kind::subnormal},
                             {1, false, data_kind::special},
                             {-1, false, data_kind::special},
                         }),
                         case_name);

// What the processor and the operating system support, read from cpuid and xgetbv here,
// apart from the dispatcher's own reading.
struct processor_support {
    bool avx = false;
    bool avx512 = false; // F and DQ, with the opmask and upper registers saved by the system
};

processor_support read_processor() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    processor_support found;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0) return found;
    const bool os_saves_registers = (c & (1U << 27)) != 0;
    if (!os_saves_registers) return found;
    unsigned low = 0, high = 0;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    found.avx = (c & (1U << 28)) != 0 && (low & 0x6U) == 0x6U;
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) return found;
    found.avx512 =
        found.avx && (b & (1U << 16)) != 0 && (b & (1U << 17)) != 0 && (low & 0xe6U) == 0xe6U;
    return found;
}

TEST(Four1FastPaths, DispatcherPicksTheWidestPathTheProcessorRuns) {
    const processor_support here = read_processor();
    EXPECT_EQ(kelvane::reference::four1_path_available(four1_path::avx), here.avx);
    EXPECT_EQ(kelvane::reference::four1_path_available(four1_path::avx512), here.avx512);
    const four1_path expected = here.avx512 ? four1_path::avx512
                                : here.avx  ? four1_path::avx
                                            : four1_path::scalar;
    EXPECT_EQ(kelvane::reference::four1_best_path(), expected);
}

} // namespace
