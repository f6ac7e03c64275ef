#include "random_input.hpp"

namespace kelvane::verify {

void fill_random(std::span<kelvane_complex> samples, std::uint64_t seed) {
    std::mt19937_64 generator(seed);
    for (kelvane_complex& sample : samples) {
        sample.re = uniform_part<float>(generator);
        sample.im = uniform_part<float>(generator);
    }
}

} // namespace kelvane::verify
