// The yardstick: the spectrum of a single-precision signal computed in long double, with no
// code shared with four1 or the emulated device.
#pragma once

#include "kelvane_complex.h"

#include <complex>
#include <span>
#include <string>
#include <vector>

namespace kelvane::verify {

using exact_complex = std::complex<long double>;

// out[k] = sum over j of in[j] * exp(-2*pi*i * j*k / n), the device's forward direction,
// through FFTW's long-double interface (64-bit significands, an error of order 1e-19 relative
// to the spectrum's L2 norm). Throws std::bad_alloc when FFTW cannot have its memory.
std::vector<exact_complex> exact_spectrum(std::span<const kelvane_complex> signal);

// FFTW's name and version, for the provenance.
std::string yardstick_version();

} // namespace kelvane::verify
