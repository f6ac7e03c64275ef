/* ostrel: the forward FFT of a host array on an NVIDIA GPU, through cuFFT.
 *
 * fft_1d_c2c_(n, in, out) transforms the *n complex samples at `in` (read only) into `out`:
 *     out[k] = sum over j of in[j] * exp(-2*pi*i * j*k / n),
 * out of place on the device. Every call owns its resources: two device buffers of n * 8
 * bytes and one cuFFT plan, created and released within the call; nothing survives it.
 * The count is passed by reference and only read, as from Fortran.
 *
 * Failures end the process: the first failing device allocation, copy, plan creation or
 * execution writes one line to standard error,
 *     ostrel(<line>) : cudaSafeCall() Runtime API error : <runtime's text>.
 *     ostrel(<line>) : cufftSafeCall() CUFFT error.
 * with the lines 17 (input buffer), 18 (output buffer), 19 (copy in), 20 (plan), 21 (execution)
 * and 22 (copy out), and exits with status 255. Nothing is written to standard output. */
#ifndef KELVANE_OSTREL_H
#define KELVANE_OSTREL_H

#include "kelvane_complex.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

void fft_1d_c2c_(const int32_t* n, const kelvane_complex* in, kelvane_complex* out);

#ifdef __cplusplus
}
#endif

#endif
