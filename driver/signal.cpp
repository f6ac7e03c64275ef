#include "signal.hpp"

#include <bit>
#include <cmath>
#include <pmmintrin.h>

namespace kelvane::driver {
namespace {

constexpr unsigned flush_to_zero_and_denormals_are_zero = _MM_FLUSH_ZERO_ON | _MM_DENORMALS_ZERO_ON;
static_assert(flush_to_zero_and_denormals_are_zero == 0x8040);

// 1/n in single precision: exact for every power of two n, and then 7/n is exact too.
constexpr float reciprocal(std::int64_t count) {
    return 1.0f / static_cast<float>(count);
}
static_assert(std::bit_cast<std::uint32_t>(reciprocal(sample_count)) == 0x35800000);
static_assert(std::bit_cast<std::uint32_t>(7.0f * reciprocal(sample_count)) == 0x36e00000);

} // namespace

void enter_flush_to_zero_mode() {
    _mm_setcsr(_mm_getcsr() | flush_to_zero_and_denormals_are_zero);
}

void fill_signal(kelvane_complex* samples, std::int64_t count) {
    const float real_scale = reciprocal(count);
    const float imaginary_scale = 7.0f * real_scale;
    for (std::int64_t i = 0; i < count; ++i) {
        const auto x = static_cast<float>(i);
        samples[i].re = std::sin((x + x) * real_scale);
        samples[i].im = std::cos(x * imaginary_scale);
    }
}

} // namespace kelvane::driver
