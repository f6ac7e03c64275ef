#include "random_input.hpp"

#include <random>

namespace kelvane::verify {
namespace {

// The twister's output is fixed by the standard; its distributions are not.
float uniform_part(std::mt19937_64& generator) {
    const auto top = static_cast<std::int32_t>(generator() >> 40); // 24 bits
    return static_cast<float>(top - (1 << 23)) * 0x1p-23f;
}

} // namespace

void fill_random(std::span<kelvane_complex> samples, std::uint64_t seed) {
    std::mt19937_64 generator(seed);
    for (kelvane_complex& sample : samples) {
        sample.re = uniform_part(generator);
        sample.im = uniform_part(generator);
    }
}

} // namespace kelvane::verify
