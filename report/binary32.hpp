// The single-precision layout, named once: every decision the fields make is made on these
// bits, so the results do not depend on the floating-point mode.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace kelvane::report::binary32 {

inline constexpr int fraction_bits = 23;
inline constexpr std::uint32_t fraction_mask = (std::uint32_t{1} << fraction_bits) - 1;
inline constexpr std::uint32_t hidden_bit = std::uint32_t{1} << fraction_bits;
inline constexpr std::uint32_t exponent_field_max = 0xff; // infinities and NaN
inline constexpr int exponent_bias = 127;
inline constexpr std::uint32_t sign_bit = std::uint32_t{1} << 31;
inline constexpr std::uint32_t magnitude_mask = sign_bit - 1;
// A normal float is (hidden_bit | fraction) * 2^-shift with shift = normal_shift_base - e for
// its exponent field e; a subnormal one fraction * 2^-subnormal_shift.
inline constexpr int normal_shift_base = exponent_bias + fraction_bits;
inline constexpr int subnormal_shift = normal_shift_base - 1;
static_assert(normal_shift_base == 150 && subnormal_shift == 149);
static_assert(std::bit_cast<std::uint32_t>(1.0f) == static_cast<std::uint32_t>(exponent_bias)
                                                        << fraction_bits);

enum class kind { zero, nan, infinity, finite };

// A float as sign and magnitude significand * 2^-shift (shift may be negative).
struct decoded {
    kind what;
    bool negative;
    std::uint32_t significand;
    int shift;
};

constexpr decoded decode(float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    const bool negative = (bits & sign_bit) != 0;
    const std::uint32_t exponent_field = (bits & magnitude_mask) >> fraction_bits;
    const std::uint32_t fraction = bits & fraction_mask;
    if (exponent_field == exponent_field_max)
        return {fraction != 0 ? kind::nan : kind::infinity, negative, 0, 0};
    if (exponent_field == 0)
        return {fraction == 0 ? kind::zero : kind::finite, negative, fraction, subnormal_shift};
    return {kind::finite, negative, fraction | hidden_bit,
            normal_shift_base - static_cast<int>(exponent_field)};
}

// The same for the magnitude bits of a normal float, without the checks.
constexpr std::uint64_t normal_significand(std::uint32_t magnitude_bits) {
    return (magnitude_bits & fraction_mask) | hidden_bit;
}
constexpr int normal_shift(std::uint32_t magnitude_bits) {
    return normal_shift_base - static_cast<int>(magnitude_bits >> fraction_bits);
}
static_assert(decode(0x1p-3f).significand ==
              normal_significand(std::bit_cast<std::uint32_t>(0x1p-3f)));
static_assert(decode(0x1p-3f).shift == normal_shift(std::bit_cast<std::uint32_t>(0x1p-3f)));

} // namespace kelvane::report::binary32
