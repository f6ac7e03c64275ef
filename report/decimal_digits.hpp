// Decimal digits into text: exactly so many digits, digits before a given end, and eight
// digits with a point at once, in the lanes of one 64-bit word.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kelvane::report::detail {

// Writes exactly `count` decimal digits of value (leading zeros included).
inline char* put_digits(char* out, std::uint64_t value, int count) {
    for (int position = count - 1; position >= 0; --position) {
        out[position] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return out + count;
}

inline int digit_count(std::uint64_t value) {
    int count = 1;
    while (value >= 10) {
        value /= 10;
        ++count;
    }
    return count;
}

inline constexpr auto digit_pairs = [] {
    std::array<char, 200> pairs{};
    for (std::size_t i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

// Writes the `count` low decimal digits of value backwards from `end`, two at a time; returns
// the position of the first and leaves the higher digits in value.
inline char* put_low_digits_before(char* end, std::uint64_t& value, int count) {
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
inline char* put_decimal_before(char* end, std::uint64_t scaled, int decimals) {
    if (decimals >= 0) {
        end = put_low_digits_before(end, scaled, decimals);
        *--end = '.';
    }
    while (scaled >= 100)
        end = put_low_digits_before(end, scaled, 2);
    return put_low_digits_before(end, scaled, scaled >= 10 ? 2 : 1);
}

// Division by a multiply and a shift, in lanes of a 64-bit word. A lane's product must stay
// below its next lane, and the quotient must be exact, for every value the lane can hold:
//   v / 100 = (v * 10486) >> 20 for v < 10^4, with v * 10486 < 2^27 (lanes of 32 bits);
//   v / 10  = (v * 103) >> 10 for v < 100, with v * 103 < 2^14 (lanes of 16 bits).
constexpr std::uint64_t hundredths(std::uint64_t v) {
    return (v * 10486) >> 20;
}
constexpr std::uint64_t tenths(std::uint64_t v) {
    return (v * 103) >> 10;
}
static_assert([] {
    for (std::uint64_t v = 0; v < 10000; ++v)
        if (hundredths(v) != v / 100 || v * 10486 >= (std::uint64_t{1} << 27)) return false;
    for (std::uint64_t v = 0; v < 100; ++v)
        if (tenths(v) != v / 10 || v * 103 >= (std::uint64_t{1} << 14)) return false;
    return true;
}());

// The eight decimal digits of value < 10^8 as ASCII, most significant in the lowest byte:
// both halves of four digits are split into pairs and then into digits in parallel lanes.
inline std::uint64_t eight_ascii_digits(std::uint64_t value) {
    const std::uint64_t halves = value / 10000 | (value % 10000) << 32;
    const std::uint64_t pairs_high = hundredths(halves) & 0x0000007f0000007fULL;
    const std::uint64_t pairs = ((halves - 100 * pairs_high) << 16) + pairs_high;
    std::uint64_t tens = tenths(pairs) & 0x000f000f000f000fULL;
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

inline constexpr auto point_masks_by_decimals = [] {
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
inline void put_pointed_digits(char* out, std::uint64_t value, int decimals) {
    const std::uint64_t digits = eight_ascii_digits(value);
    const point_masks& masks = point_masks_by_decimals[static_cast<std::size_t>(decimals)];
    const std::uint64_t head =
        (digits & masks.before_point) | masks.point | ((digits << 8) & masks.after_point);
    std::memcpy(out, &head, 8);
    // The ninth character: the last digit, or the point itself when no digit follows it.
    out[8] = decimals == 0 ? '.' : static_cast<char>(digits >> 56);
}

} // namespace kelvane::report::detail
