// The yardstick: transforms computed in long double, with no code shared with four1 or the
// emulated device.
#pragma once

#include "kelvane_complex.h"
#include "transform_case.hpp"

#include <complex>
#include <span>
#include <string>
#include <vector>

namespace kelvane::verify {

using exact_complex = std::complex<long double>;

// out[k] = sum over j of in[j] * exp(-2*pi*i * j*k / n), the device's forward direction,
// through FFTW's long-double interface (64-bit significands, an error of order 1e-19 relative
// to the spectrum's L2 norm), on every core. Throws std::bad_alloc when FFTW cannot have its
// memory.
std::vector<exact_complex> exact_spectrum(std::span<const kelvane_complex> signal);

// The exact output of case `c` from its logical input, both member after member and row-major
// within each member, real sides as complex numbers with zero imaginary parts: unnormalised,
// with exponent sign -1 forward and +1 inverse, a C2R or Z2D input read as the half spectrum
// of a Hermitian one. Throws std::bad_alloc like exact_spectrum.
std::vector<exact_complex> exact_output(const transform_case& c,
                                        std::span<const exact_complex> input);

// FFTW's name and version, for the provenance.
std::string yardstick_version();

} // namespace kelvane::verify
