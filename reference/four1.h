/* four1: in-place radix-2 discrete Fourier transform, the CPU reference of kelvane.
 *
 * Replaces the `*count` complex samples in `data` (real and imaginary parts interleaved, single
 * precision) by their transform with exponent sign `*sign`, unscaled:
 *     out[k] = sum over j of in[j] * exp(sign * 2*pi*i * j*k / count).
 * Every operation is rounded as written (no fused multiply-add), so results are reproducible
 * to the bit on any x86-64; they follow the process's floating-point mode (flush-to-zero and
 * denormals-are-zero included).
 *
 * Arguments are passed by reference and only read, as from Fortran:
 *   - *count <= 0: returns at once, data untouched.
 *   - *count a power of two from 1 to 2^29 and *sign +1 or -1: transforms.
 *   - anything else: writes one line naming the routine and the offending value on standard
 *     error and ends the process with exit status 255; data are untouched.
 * Memory outside the 2 * *count values is never touched. It uses at most 16 KiB of stack
 * whatever the count, and holds at most 520 KiB for the life of the process: the twiddle
 * factors of the passes of half-size up to 2^15 and the recurrence's state at sixteen points of
 * each larger pass, made on first use. Calls from several threads on different arrays are safe
 * and give the same bits as one after the other. */
#ifndef KELVANE_FOUR1_H
#define KELVANE_FOUR1_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

void four1_(float* data, const int32_t* count, const int32_t* sign);

#ifdef __cplusplus
}
#endif

#endif
