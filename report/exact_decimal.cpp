// The exact path of the real fields: a float's full decimal expansion in big-integer limbs,
// rounded to eight significant digits, ties to even on the exact tail. It serves every value
// outside the fast range, so its speed matters little and its exactness everything.
#include "decimal_digits.hpp"
#include "real_plan.hpp"

#include <algorithm>
#include <array>

namespace kelvane::report::detail {

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

} // namespace kelvane::report::detail
