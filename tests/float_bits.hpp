// Floats written as their exact bit patterns, so a test row names the value it means.
#pragma once

#include <bit>
#include <cstdint>

namespace kelvane::test_support {

constexpr float from_bits(std::uint32_t bits) {
    return std::bit_cast<float>(bits);
}
constexpr std::uint32_t to_bits(float value) {
    return std::bit_cast<std::uint32_t>(value);
}

} // namespace kelvane::test_support
