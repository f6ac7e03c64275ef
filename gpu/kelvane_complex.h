/* The complex sample that crosses every boundary of the system: the driver's arrays, the
 * page-locked buffers, the device buffers and four1's interleaved view. */
#ifndef KELVANE_COMPLEX_H
#define KELVANE_COMPLEX_H

/* Real part first, 8 bytes, no padding; arrays of them are contiguous, so a Fortran `complex`
 * array passes as it is. */
typedef struct kelvane_complex {
    float re;
    float im;
} kelvane_complex;

#endif
