// Values that several test programs share.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvane::test_support {

// The seed of every random test input, printed by the tests that draw from it.
inline constexpr std::uint64_t seed = 20261209;

// What the comparison run writes: 2^20 table records of 72 characters and two timing lines of
// 33, each ended by a line feed.
inline constexpr std::size_t comparison_output_bytes = std::size_t{1 << 20} * 73 + 2 * 34;
static_assert(comparison_output_bytes == 76546116);

} // namespace kelvane::test_support
