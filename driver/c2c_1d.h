/* c2c_1d: the GPU transform of an ordinary host array, staged through page-locked memory.
 *
 * c2c_1d_(n, in, out) copies the *n samples at `in` into a page-locked buffer, has
 * fft_1d_c2c_ (ostrel.h) transform them into a second one, and copies *n samples from it to
 * `out`. Both buffers are obtained and released on every call. The count is passed by
 * reference and only read; `in` is never written. Not reentrant: the staging state is static.
 *
 * Failures end the process with one line on standard error and exit status 255: those of
 * fft_1d_c2c_, and a failed page-locked allocation,
 *     c2c_1d(11) : cudaSafeCall() Runtime API error : <runtime's text>.   (first buffer)
 *     c2c_1d(12) : cudaSafeCall() Runtime API error : <runtime's text>.   (second buffer) */
#ifndef KELVANE_C2C_1D_H
#define KELVANE_C2C_1D_H

#include "ostrel.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

void c2c_1d_(const int32_t* n, const kelvane_complex* in, kelvane_complex* out);

#ifdef __cplusplus
}
#endif

#endif
