// The reference transform as a plain loop nest, operation for operation. It is the yardstick
// the fast transform is held to bit for bit.
#pragma once

#include <cstdint>

namespace kelvane::reference {

// Largest count the transform accepts: 2 * count must stay below 2^31.
inline constexpr std::int32_t four1_max_count = std::int32_t{1} << 29;

// The dividend of every pass's angle: four units in the last place above the double nearest
// to 2*pi. It is part of the transform's exact result.
inline constexpr double four1_two_pi = 6.28318530717959;

// Precondition: count a power of two in [1, four1_max_count], sign +1 or -1.
void four1_plain(float* data, std::int32_t count, std::int32_t sign);

} // namespace kelvane::reference
