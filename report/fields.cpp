#include "fields.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace kelvane::report {
namespace {

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

constexpr auto powers_of_ten = powers_of<10, 20>();
constexpr auto powers_of_five = powers_of<5, 14>();

constexpr std::uint64_t power_of_ten(int exponent) {
    return powers_of_ten[static_cast<std::size_t>(exponent)];
}

enum class float_kind { zero, nan, infinity, finite };

// A float as sign and magnitude significand * 2^-shift (shift may be negative).
struct decoded_float {
    float_kind kind;
    bool negative;
    std::uint32_t significand;
    int shift;
};

decoded_float decode(float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    const bool negative = (bits >> 31) != 0;
    const auto biased_exponent = static_cast<int>((bits >> 23) & 0xffU);
    const std::uint32_t fraction = bits & 0x7fffffU;
    if (biased_exponent == 0xff)
        return {fraction != 0 ? float_kind::nan : float_kind::infinity, negative, 0, 0};
    if (biased_exponent == 0)
        return {fraction == 0 ? float_kind::zero : float_kind::finite, negative, fraction, 149};
    return {float_kind::finite, negative, fraction | 0x800000U, 150 - biased_exponent};
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

// Writes exactly `count` decimal digits of value (leading zeros included).
char* put_digits(char* out, std::uint64_t value, int count) {
    for (int position = count - 1; position >= 0; --position) {
        out[position] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return out + count;
}

int digit_count(std::uint64_t value) {
    int count = 1;
    while (value >= 10) {
        value /= 10;
        ++count;
    }
    return count;
}

char* put_left_justified(char* out, std::string_view text, int width) {
    std::memcpy(out, text.data(), text.size());
    std::memset(out + text.size(), ' ', static_cast<std::size_t>(width) - text.size());
    return out + width;
}

// A real's text before justification: either `digits` with `decimals` of them after the point
// (fixed form), or the 8 digits of a mantissa with decimal exponent `exponent` (exponent form).
struct real_text {
    bool fixed;
    std::uint64_t digits;
    int decimals;
    int exponent;
};

constexpr int fixed_significant_digits = 7;
constexpr int exponent_significant_digits = 8;

// The fast range is |x| in [1e-5, 1e7), where every decision below is a comparison of the
// magnitude's bit pattern with thresholds computed at compile time, and the digits come from
// one 64-bit rounding. Floats there are normal: x = significand / 2^shift, 0 <= shift <= 40,
// and significand * 10^12 < 2^64.
constexpr std::uint64_t significand_of(std::uint32_t bits) {
    return (bits & 0x7fffffU) | 0x800000U;
}
constexpr int shift_of(std::uint32_t bits) {
    return 150 - static_cast<int>(bits >> 23);
}

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

constexpr std::uint32_t bits_of_2_to_minus_18 = 0x36800000U;
constexpr std::uint32_t bits_of_2_to_24 = 0x4b800000U;
constexpr int first_decade_power = -5;

// decade_starts[j + 5]: the least float >= 10^j, for j in [-5, 7].
constexpr auto decade_starts = [] {
    std::array<std::uint32_t, 13> starts{};
    for (int power = first_decade_power; power <= 7; ++power) {
        starts[static_cast<std::size_t>(power - first_decade_power)] =
            first_bits_where(bits_of_2_to_minus_18, bits_of_2_to_24, [power](std::uint32_t bits) {
                const std::uint64_t significand = significand_of(bits);
                const int shift = shift_of(bits);
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

constexpr std::uint32_t fast_range_first = decade_start(first_decade_power);
constexpr std::uint32_t fast_range_end = decade_start(7);
static_assert(decade_start(-2) == 0x3c23d70bU && fast_range_end == 0x4b189680U);

// Within the decade 10^(k0-1) <= x < 10^k0, k0 in [-1, 7]: from which bit pattern on nine
// significant digits carry into the next decade, and from which they read 9999999 followed by a
// digit of 5 or more. Below 0.01 neither can bring the fixed form, so no thresholds are needed.
struct decade_thresholds {
    std::uint32_t nine_digits_carry;
    std::uint32_t rounds_up_at_seven;
};

constexpr auto decades = [] {
    std::array<decade_thresholds, 9> thresholds{};
    for (int k0 = -1; k0 <= 7; ++k0) {
        auto nine_digits = [k0](std::uint32_t bits) {
            return round_scaled(significand_of(bits), 9 - k0, shift_of(bits));
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
real_text plan_exponent_form(std::uint64_t significand, int shift, int k0) {
    std::uint64_t mantissa = round_scaled(significand, exponent_significant_digits - k0, shift);
    int exponent = k0 - 1;
    if (mantissa == power_of_ten(exponent_significant_digits)) {
        mantissa = power_of_ten(exponent_significant_digits - 1);
        exponent = k0;
    }
    return {false, mantissa, 0, exponent};
}

real_text plan_fast_range(std::uint32_t magnitude_bits) {
    const std::uint64_t significand = significand_of(magnitude_bits);
    const int shift = shift_of(magnitude_bits);
    // 1. k0 with 10^(k0-1) <= x < 10^k0: x lies within [10^c, 10^(c+2)), c from the binary
    //    exponent, and one comparison tells which decade.
    const int binary_exponent = 23 - shift;
    const int power_below = (binary_exponent * 1233) >> 12; // floor(binary_exponent * log10(2))
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

// Exponent form for any finite non-zero value, from its exact decimal expansion.
// Outside the fast range a real never takes the fixed form.
real_text plan_exact(std::uint32_t significand, int shift) {
    // 1. The exact value is B * 10^-shift with B = significand * 5^shift for shift > 0, and the
    //    integer significand * 2^-shift otherwise. B has at most 112 digits: 13 limbs of 10^9.
    constexpr std::uint64_t limb_base = 1000000000;
    std::array<std::uint64_t, 16> limbs{significand};
    std::size_t used = 1;
    auto multiply = [&](std::uint64_t factor) {
        std::uint64_t carry = 0;
        for (std::size_t i = 0; i < used; ++i) {
            const std::uint64_t product = limbs[i] * factor + carry;
            limbs[i] = product % limb_base;
            carry = product / limb_base;
        }
        if (carry != 0) limbs[used++] = carry;
    };
    for (int left = shift; left > 0; left -= 13) // 5^13 < 2^31
        multiply(powers_of_five[static_cast<std::size_t>(std::min(left, 13))]);
    for (int left = -shift; left > 0; left -= 29)
        multiply(std::uint64_t{1} << std::min(left, 29));
    // 2. Its decimal digits, most significant first, padded with zeros to at least nine.
    std::array<char, 16 * 9> digits;
    digits.fill('0');
    char* end = digits.data();
    end = put_digits(end, limbs[used - 1], digit_count(limbs[used - 1]));
    for (std::size_t i = used - 1; i-- > 0;)
        end = put_digits(end, limbs[i], 9);
    const auto count = static_cast<int>(end - digits.data());
    // 3. Round to eight digits, ties to even on the exact tail.
    const char* const next = digits.data() + exponent_significant_digits;
    std::uint64_t mantissa = 0;
    for (const char* digit = digits.data(); digit < next; ++digit)
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*digit - '0');
    const bool tail_beyond = std::any_of(next + 1, std::max<const char*>(end, next + 1),
                                         [](char digit) { return digit != '0'; });
    if (*next > '5' || (*next == '5' && (tail_beyond || (mantissa & 1) != 0))) ++mantissa;
    int exponent = count - std::max(shift, 0) - 1;
    if (mantissa == power_of_ten(exponent_significant_digits)) {
        mantissa = power_of_ten(exponent_significant_digits - 1);
        ++exponent;
    }
    return {false, mantissa, 0, exponent};
}

constexpr auto digit_pairs = [] {
    std::array<char, 200> pairs{};
    for (std::size_t i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

// Writes the `count` low decimal digits of value backwards from `end`, two at a time; returns
// the position of the first and leaves the higher digits in value.
char* put_low_digits_before(char* end, std::uint64_t& value, int count) {
    for (; count >= 2; count -= 2) {
        end -= 2;
        std::memcpy(end, &digit_pairs[2 * (value % 100)], 2);
        value /= 100;
    }
    if (count == 1) {
        *--end = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return end;
}

// Writes scaled / 10^decimals with `decimals` digits after the point (none and no point for
// decimals < 0), backwards from `end`; returns the position of its first character.
char* put_decimal_before(char* end, std::uint64_t scaled, int decimals) {
    if (decimals >= 0) {
        end = put_low_digits_before(end, scaled, decimals);
        *--end = '.';
    }
    while (scaled >= 100)
        end = put_low_digits_before(end, scaled, 2);
    return put_low_digits_before(end, scaled, scaled >= 10 ? 2 : 1);
}

// The eight decimal digits of value < 10^8 as ASCII, most significant in the lowest byte:
// both halves of four digits are split into pairs and then into digits in parallel lanes.
std::uint64_t eight_ascii_digits(std::uint64_t value) {
    const std::uint64_t halves = value / 10000 | (value % 10000) << 32;
    const std::uint64_t pairs_high = ((halves * 10486) >> 20) & 0x0000007f0000007fULL; // / 100
    const std::uint64_t pairs = ((halves - 100 * pairs_high) << 16) + pairs_high;
    std::uint64_t tens = ((pairs * 103) >> 10) & 0x000f000f000f000fULL; // / 10
    tens += (pairs - 10 * tens) << 8;
    return tens + 0x3030303030303030ULL;
}

// For a point before the last `decimals` (0..7) of eight digits: the bytes of the first
// 8 - decimals digits, the point itself, and the bytes that the digits after it move to.
struct point_masks {
    std::uint64_t before_point;
    std::uint64_t point;
    std::uint64_t after_point;
};

constexpr auto point_masks_by_decimals = [] {
    std::array<point_masks, 8> masks{};
    for (unsigned decimals = 0; decimals < 8; ++decimals) {
        const unsigned point_byte = 8 - decimals;
        std::uint64_t before = 0;
        std::uint64_t point = 0;
        std::uint64_t after = 0;
        for (unsigned byte = 0; byte < 8; ++byte) {
            const std::uint64_t lane = std::uint64_t{0xff} << (8 * byte);
            if (byte < point_byte)
                before |= lane;
            else if (byte == point_byte)
                point |= std::uint64_t{'.'} << (8 * byte);
            else
                after |= lane;
        }
        masks[decimals] = {before, point, after};
    }
    return masks;
}();

// Writes the eight zero-padded digits of value < 10^8 at out[0..9) with a point before the
// last `decimals` of them, decimals in 0..7.
void put_pointed_digits(char* out, std::uint64_t value, int decimals) {
    const std::uint64_t digits = eight_ascii_digits(value);
    const point_masks& masks = point_masks_by_decimals[static_cast<std::size_t>(decimals)];
    const std::uint64_t head =
        (digits & masks.before_point) | masks.point | ((digits << 8) & masks.after_point);
    std::memcpy(out, &head, 8);
    // The ninth character: the last digit, or the point itself when no digit follows it.
    out[8] = decimals == 0 ? '.' : static_cast<char>(digits >> 56);
}

// Fields are written in place over blanks: assembling them elsewhere and copying would read
// back freshly stored bytes, which stalls store forwarding.
template <std::size_t width>
char* blank_field(char* out) {
    std::memset(out, ' ', width);
    return out + width;
}

} // namespace

char* put_integer_field(char* out, std::int32_t value) {
    char* const end = blank_field<integer_field_width>(out);
    const std::uint32_t magnitude =
        value < 0 ? 0U - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    char* first = put_decimal_before(end, magnitude, -1);
    if (value < 0) *--first = '-';
    return end;
}

char* put_real_field(char* out, float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    const std::uint32_t magnitude_bits = bits & 0x7fffffffU;
    real_text plan;
    if (magnitude_bits - fast_range_first < fast_range_end - fast_range_first) [[likely]] {
        plan = plan_fast_range(magnitude_bits);
    } else {
        const decoded_float parts = decode(value);
        switch (parts.kind) {
        case float_kind::zero:
            return put_left_justified(out, "  0.0000000E+00", real_field_width);
        case float_kind::nan:
            return put_left_justified(out, " NaN", real_field_width);
        case float_kind::infinity:
            return put_left_justified(out, parts.negative ? " -Infinity" : " Infinity",
                                      real_field_width);
        case float_kind::finite:
            break;
        }
        plan = plan_exact(parts.significand, parts.shift);
    }
    // Both forms put nine characters at columns 3 to 11: the fixed form's seven digits after a
    // padding zero (which stays only when the integer part is zero), or the exponent form's
    // mantissa "D.DDDDDDD". The sign takes the column before the first character that stays.
    // No branch depends on the digits or the sign, which keeps this path predictable.
    char* const field_end = blank_field<real_field_width>(out);
    const int decimals = plan.fixed ? plan.decimals : exponent_significant_digits - 1;
    put_pointed_digits(out + 2, plan.digits, decimals);
    // Arithmetic and a table rather than conditions, so that no branch is taken on them.
    constexpr std::array<std::size_t, 8> sign_column = {2, 2, 2, 2, 2, 2, 2, 1};
    const std::uint32_t sign_bit = bits >> 31;
    out[sign_column[static_cast<std::size_t>(decimals)]] =
        static_cast<char>(' ' + sign_bit * ('-' - ' '));
    if (!plan.fixed) {
        out[11] = 'E';
        out[12] = plan.exponent < 0 ? '-' : '+';
        const auto magnitude = static_cast<std::size_t>(std::abs(plan.exponent));
        std::memcpy(out + 13, &digit_pairs[2 * magnitude], 2);
    }
    return field_end;
}

char* put_timing_label_field(char* out, std::string_view label) {
    if (label.size() >= timing_label_width) {
        std::memcpy(out, label.data(), timing_label_width);
        return out + timing_label_width;
    }
    const std::size_t padding = timing_label_width - label.size();
    std::memset(out, ' ', padding);
    std::memcpy(out + padding, label.data(), label.size());
    return out + timing_label_width;
}

char* put_seconds_field(char* out, float seconds) {
    constexpr int decimals = 4;
    constexpr std::string_view overflow = "********";
    const decoded_float parts = decode(seconds);
    if (parts.kind == float_kind::nan)
        return put_left_justified(out, "     NaN", timing_value_width);
    if (parts.kind == float_kind::infinity)
        return put_left_justified(out, parts.negative ? "    -Inf" : "Infinity",
                                  timing_value_width);
    // 2^14 s and beyond never fit; below that the scaled significand stays under 2^38.
    constexpr int shift_of_2_to_14 = 23 - 14;
    if (parts.kind == float_kind::finite && parts.shift <= shift_of_2_to_14)
        return put_left_justified(out, overflow, timing_value_width);
    const std::uint64_t ten_thousandths =
        parts.kind == float_kind::zero ? 0 : round_scaled(parts.significand, decimals, parts.shift);
    // Room for the widest text, "-16384.0000", before the check for eight columns.
    char text[16];
    std::memset(text, ' ', sizeof text);
    char* const end = text + sizeof text;
    char* first = put_decimal_before(end, ten_thousandths, decimals);
    if (parts.negative && ten_thousandths != 0) *--first = '-';
    if (end - first > timing_value_width)
        return put_left_justified(out, overflow, timing_value_width);
    std::memcpy(out, end - timing_value_width, timing_value_width);
    return out + timing_value_width;
}

} // namespace kelvane::report
