// The fields' entry points: each blanks its columns, plans the text and puts its characters.
#include "fields.hpp"

#include "binary32.hpp"
#include "decimal_digits.hpp"
#include "real_plan.hpp"

#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace kelvane::report {
namespace {

using namespace detail;

char* put_left_justified(char* out, std::string_view text, int width) {
    std::memcpy(out, text.data(), text.size());
    std::memset(out + text.size(), ' ', static_cast<std::size_t>(width) - text.size());
    return out + width;
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
    const std::uint32_t magnitude_bits = bits & binary32::magnitude_mask;
    real_text plan;
    if (magnitude_bits - fast_range_first < fast_range_end - fast_range_first) [[likely]] {
        plan = plan_fast_range(magnitude_bits);
    } else {
        const binary32::decoded parts = binary32::decode(value);
        switch (parts.what) {
        case binary32::kind::zero:
            return put_left_justified(out, "  0.0000000E+00", real_field_width);
        case binary32::kind::nan:
            return put_left_justified(out, " NaN", real_field_width);
        case binary32::kind::infinity:
            return put_left_justified(out, parts.negative ? " -Infinity" : " Infinity",
                                      real_field_width);
        case binary32::kind::finite:
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
    const binary32::decoded parts = binary32::decode(seconds);
    if (parts.what == binary32::kind::nan)
        return put_left_justified(out, "     NaN", timing_value_width);
    if (parts.what == binary32::kind::infinity)
        return put_left_justified(out, parts.negative ? "    -Inf" : "Infinity",
                                  timing_value_width);
    // 2^14 s and beyond never fit; below that the scaled significand stays under 2^38.
    constexpr int shift_of_2_to_14 = binary32::fraction_bits - 14;
    if (parts.what == binary32::kind::finite && parts.shift <= shift_of_2_to_14)
        return put_left_justified(out, overflowed_seconds, timing_value_width);
    const std::uint64_t ten_thousandths =
        parts.what == binary32::kind::zero ? 0
                                           : round_scaled(parts.significand, decimals, parts.shift);
    // Room for the widest text, "-16384.0000", before the check for eight columns.
    char text[16];
    std::memset(text, ' ', sizeof text);
    char* const end = text + sizeof text;
    char* first = put_decimal_before(end, ten_thousandths, decimals);
    if (parts.negative && ten_thousandths != 0) *--first = '-';
    if (end - first > timing_value_width)
        return put_left_justified(out, overflowed_seconds, timing_value_width);
    std::memcpy(out, end - timing_value_width, timing_value_width);
    return out + timing_value_width;
}

} // namespace kelvane::report
