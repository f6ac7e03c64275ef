// How a real is written, decided before any character is: fixed or exponent form, its digits
// and its decimal exponent. The fast range decides from the bit pattern alone, against
// thresholds computed at compile time; everything else goes through the exact decimal
// expansion (exact_decimal.cpp).
#pragma once

#include "binary32.hpp"

#include <array>
#include <cstddef>
#include <cstdint>

namespace kelvane::report::detail {

template <std::uint64_t base, std::size_t count>
constexpr std::array<std::uint64_t, count> powers_of() {
    std::array<std::uint64_t, count> powers{};
    std::uint64_t power = 1;
    for (auto& entry : powers) {
        entry = power;
        power *= base;
    }
    return powers;
}

inline constexpr auto powers_of_ten = powers_of<10, 20>();
inline constexpr auto powers_of_five = powers_of<5, 14>();

constexpr std::uint64_t power_of_ten(int exponent) {
    return powers_of_ten[static_cast<std::size_t>(exponent)];
}

// significand * 10^decimals / 2^shift rounded to an integer, ties to even, without a branch on
// the digits. Precondition: shift >= 0 and significand * 10^decimals < 2^64.
constexpr std::uint64_t round_scaled(std::uint64_t significand, int decimals, int shift) {
    if (shift >= 64) return 0; // below half of one unit
    const std::uint64_t scaled = significand * power_of_ten(decimals);
    const std::uint64_t quotient = scaled >> shift;
    const std::uint64_t twice_remainder = (scaled - (quotient << shift)) << 1;
    const std::uint64_t unit = std::uint64_t{1} << shift;
    // Above half, or exactly half with an odd quotient; in arithmetic, not in branches.
    return quotient + (twice_remainder + (quotient & 1) > unit ? 1 : 0);
}

// A real's text before justification: either `digits` with `decimals` of them after the point
// (fixed form), or the 8 digits of a mantissa with decimal exponent `exponent` (exponent form).
struct real_text {
    bool fixed;
    std::uint64_t digits;
    int decimals;
    int exponent;
};

inline constexpr int fixed_significant_digits = 7;
inline constexpr int exponent_significant_digits = 8;

// floor(e * log10(2)) by a multiply and a shift: 1233 / 2^12 lies just above log10(2). Valid
// for e in [-60, 63], proved below over the whole range; the fast range needs [-17, 23].
constexpr int floor_log10_of_power_of_two(int binary_exponent) {
    return (binary_exponent * 1233) >> 12;
}

static_assert([] {
    for (int e = -60; e <= 63; ++e) {
        const int k = floor_log10_of_power_of_two(e);
        // 10^k <= 2^e < 10^(k+1), in integers: for e < 0 both sides are multiplied by
        // 2^-e * 10^-k.
        const bool holds = e >= 0
                               ? power_of_ten(k) <= (std::uint64_t{1} << e) &&
                                     (k + 1 > 19 || (std::uint64_t{1} << e) < power_of_ten(k + 1))
                               : (std::uint64_t{1} << -e) <= power_of_ten(-k) &&
                                     power_of_ten(-k - 1) < (std::uint64_t{1} << -e);
        if (!holds) return false;
    }
    return true;
}());

// The least bit pattern in [first, end) at which a monotone predicate holds, or end.
template <class Predicate>
constexpr std::uint32_t first_bits_where(std::uint32_t first, std::uint32_t end, Predicate holds) {
    while (first < end) {
        const std::uint32_t middle = first + (end - first) / 2;
        if (holds(middle))
            end = middle;
        else
            first = middle + 1;
    }
    return first;
}

inline constexpr std::uint32_t bits_of_2_to_minus_18 = 0x36800000U;
inline constexpr std::uint32_t bits_of_2_to_24 = 0x4b800000U;
inline constexpr int first_decade_power = -5;

// decade_starts[j + 5]: the least float >= 10^j, for j in [-5, 7].
inline constexpr auto decade_starts = [] {
    std::array<std::uint32_t, 13> starts{};
    for (int power = first_decade_power; power <= 7; ++power) {
        starts[static_cast<std::size_t>(power - first_decade_power)] =
            first_bits_where(bits_of_2_to_minus_18, bits_of_2_to_24, [power](std::uint32_t bits) {
                const std::uint64_t significand = binary32::normal_significand(bits);
                const int shift = binary32::normal_shift(bits);
                return power >= 0
                           ? significand >= (power_of_ten(power) << shift)
                           : significand * power_of_ten(-power) >= (std::uint64_t{1} << shift);
            });
    }
    return starts;
}();

constexpr std::uint32_t decade_start(int power) {
    return decade_starts[static_cast<std::size_t>(power - first_decade_power)];
}

inline constexpr std::uint32_t fast_range_first = decade_start(first_decade_power);
inline constexpr std::uint32_t fast_range_end = decade_start(7);
static_assert(decade_start(-2) == 0x3c23d70bU && fast_range_end == 0x4b189680U);

// Within the decade 10^(k0-1) <= x < 10^k0, k0 in [-1, 7]: from which bit pattern on nine
// significant digits carry into the next decade, and from which they read 9999999 followed by a
// digit of 5 or more. Below 0.01 neither can bring the fixed form, so no thresholds are needed.
struct decade_thresholds {
    std::uint32_t nine_digits_carry;
    std::uint32_t rounds_up_at_seven;
};

inline constexpr auto decades = [] {
    std::array<decade_thresholds, 9> thresholds{};
    for (int k0 = -1; k0 <= 7; ++k0) {
        auto nine_digits = [k0](std::uint32_t bits) {
            return round_scaled(binary32::normal_significand(bits), 9 - k0,
                                binary32::normal_shift(bits));
        };
        const std::uint32_t first = decade_start(k0 - 1);
        const std::uint32_t end = decade_start(k0);
        thresholds[static_cast<std::size_t>(k0 + 1)] = {
            first_bits_where(
                first, end,
                [&](std::uint32_t bits) { return nine_digits(bits) >= power_of_ten(9); }),
            first_bits_where(first, end,
                             [&](std::uint32_t bits) { return nine_digits(bits) >= 999999950; }),
        };
    }
    return thresholds;
}();

// Eight significant digits of x in the decade below 10^k0, rounded from the exact value.
inline real_text plan_exponent_form(std::uint64_t significand, int shift, int k0) {
    std::uint64_t mantissa = round_scaled(significand, exponent_significant_digits - k0, shift);
    int exponent = k0 - 1;
    if (mantissa == power_of_ten(exponent_significant_digits)) {
        mantissa = power_of_ten(exponent_significant_digits - 1);
        exponent = k0;
    }
    return {false, mantissa, 0, exponent};
}

inline real_text plan_fast_range(std::uint32_t magnitude_bits) {
    const std::uint64_t significand = binary32::normal_significand(magnitude_bits);
    const int shift = binary32::normal_shift(magnitude_bits);
    // 1. k0 with 10^(k0-1) <= x < 10^k0: x lies within [10^c, 10^(c+2)), c from the binary
    //    exponent, and one comparison tells which decade.
    const int binary_exponent = binary32::fraction_bits - shift;
    const int power_below = floor_log10_of_power_of_two(binary_exponent);
    const int k0 = power_below + 1 + (magnitude_bits >= decade_start(power_below + 1) ? 1 : 0);
    // 2. Nine significant digits fix k, and whether seven digits round up to a power of ten.
    //    Below 0.01 the exponent form holds whatever they are.
    if (k0 < -1) return plan_exponent_form(significand, shift, k0);
    const decade_thresholds& decade = decades[static_cast<std::size_t>(k0 + 1)];
    const bool carry = magnitude_bits >= decade.nine_digits_carry;
    const int k = k0 + (carry ? 1 : 0);
    const bool rounds_up_at_seven = !carry && magnitude_bits >= decade.rounds_up_at_seven;
    // 3. Fixed form: seven significant digits (six after a round-up to the next power of ten).
    int decimals = -1;
    if (rounds_up_at_seven && k < 7)
        decimals = fixed_significant_digits - (k + 1);
    else if (!rounds_up_at_seven && k >= 0 && k <= 7)
        decimals = fixed_significant_digits - k;
    if (decimals >= 0) return {true, round_scaled(significand, decimals, shift), decimals, 0};
    return plan_exponent_form(significand, shift, k0);
}

// Eight significant digits in exponent form for any finite non-zero value, rounded from its
// exact decimal expansion. Outside the fast range a real never takes the fixed form.
real_text plan_exact(std::uint32_t significand, int shift);

} // namespace kelvane::report::detail
