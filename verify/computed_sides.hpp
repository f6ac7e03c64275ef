// The two computed spectra of an input, made as the comparison run makes them: four1 with
// exponent sign +1, read at mirrored bins so that bin k is the device's bin k, and the device's
// forward transform through c2c_1d. Inline: each program that uses them links its own device
// variant of c2c_1d.
#pragma once

#include "c2c_1d.h"
#include "four1.h"
#include "kelvane_complex.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kelvane::verify {

// Precondition for both: input not empty, four1's a power of two. With `inverse`, four1 runs
// with sign -1 and gives the device's inverse transform the same way.
inline std::vector<kelvane_complex> four1_spectrum(std::vector<kelvane_complex> input,
                                                   bool inverse = false) {
    const auto n = static_cast<std::int32_t>(input.size());
    const std::int32_t sign = inverse ? -1 : 1;
    four1_(&input[0].re, &n, &sign);
    // Bin N - k of one sign is bin k of the other, and 0 is 0.
    std::reverse(input.begin() + 1, input.end());
    return input;
}

inline std::vector<kelvane_complex> device_spectrum(std::vector<kelvane_complex> input) {
    const auto n = static_cast<std::int32_t>(input.size());
    std::vector<kelvane_complex> output(input.size());
    c2c_1d_(&n, input.data(), output.data());
    return output;
}

} // namespace kelvane::verify
