#include "four1_plain.hpp"

#include <bit>
#include <cmath>
#include <utility>

namespace kelvane::reference {

static_assert(std::bit_cast<std::uint64_t>(four1_two_pi) == 0x401921FB54442D1CULL);

void four1_plain(float* data, std::int32_t count, std::int32_t sign) {
    // Positions count from 1, the reference order's own numbering: sample k (from 0) holds
    // its real part at position 2k+1 and its imaginary part at 2k+2.
    auto at = [data](std::int32_t position) -> float& { return data[position - 1]; };
    const std::int32_t len = 2 * count;

    // Phase 1: bit-reversal permutation of the samples.
    std::int32_t j = 1;
    for (std::int32_t i = 1; i <= len; i += 2) {
        if (j > i) {
            std::swap(at(j), at(i));
            std::swap(at(j + 1), at(i + 1));
        }
        std::int32_t h = len / 2;
        while (h >= 2 && j > h) {
            j -= h;
            h /= 2;
        }
        j += h;
    }

    // Phase 2: butterfly passes, the twiddle factor from a double-precision recurrence.
    std::int32_t span = 2;
    while (len > span) {
        const std::int32_t stride = 2 * span;
        const double angle = four1_two_pi / static_cast<double>(sign * span);
        const double s_half = std::sin(0.5 * angle);
        const double cr = 0.0 - (2.0 * s_half) * s_half;
        const double ci = std::sin(angle);
        double ur = 1.0;
        double ui = 0.0;
        for (std::int32_t m = 1; m <= span; m += 2) {
            const auto urs = static_cast<float>(ur);
            const auto uis = static_cast<float>(ui);
            for (std::int32_t i = m; i <= len; i += stride) {
                const std::int32_t k = i + span;
                const float tr = urs * at(k) - uis * at(k + 1);
                const float ti = urs * at(k + 1) + uis * at(k);
                at(k) = at(i) - tr;
                at(k + 1) = at(i + 1) - ti;
                at(i) = at(i) + tr;
                at(i + 1) = at(i + 1) + ti;
            }
            const double ur_old = ur;
            ur = (ur * cr + ur) - ui * ci;
            ui = (ui * cr + ui) + ur_old * ci;
        }
        span = stride;
    }
}

} // namespace kelvane::reference
