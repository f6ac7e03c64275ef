// The emulated device's transform.
#pragma once

#include "cufft.h"

namespace kelvane::emu {

// The DFT of `length` samples with exponent sign `sign`, unnormalised:
//     out[k] = sum over j of in[j] * exp(sign * 2*pi*i * j*k / length).
// Computed in double precision with every twiddle factor from its own angle, each output
// rounded once to single precision. `in` and `out` may be the same buffer.
void discrete_fourier_transform(const cufftComplex* in, cufftComplex* out, int length, int sign);

} // namespace kelvane::emu
