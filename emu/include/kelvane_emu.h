/* The host emulation of the CUDA runtime and cuFFT: what it adds for tests.
 *
 * Device memory is a registry apart from host memory: device addresses are reserved but
 * inaccessible pages, so host code that dereferences one faults as it would with a GPU.
 * Copies check their direction, the side of each pointer and the bounds of the allocation;
 * executions check the plan and the buffers. The transform is the DFT in double precision
 * with exactly computed twiddle factors, rounded once to single precision.
 *
 * Fault injection: KELVANE_EMU_FAIL="operation:call:status[,...]" makes call number `call`
 * (from 1) of `operation` (one of cudaMalloc, cudaFree, cudaMallocHost, cudaFreeHost,
 * cudaMemcpy, cufftPlan1d, cufftExecC2C, cufftDestroy) return `status` (1 to 999 for the
 * runtime, 1 to 20 for cuFFT) without doing anything else. The variable is read at the first
 * call; an entry it cannot read ends the process with a message and exit status 2. */
#ifndef KELVANE_EMU_H
#define KELVANE_EMU_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What the emulated device holds now, and how often each operation has been called. */
typedef struct kelvane_emu_census {
    size_t device_buffers;
    size_t device_bytes;
    size_t pinned_buffers;
    size_t plans;
    size_t calls_cudaMalloc;
    size_t calls_cudaMallocHost;
    size_t calls_cufftPlan1d;
    size_t calls_cufftExecC2C;
} kelvane_emu_census;

kelvane_emu_census kelvane_emu_take_census(void);

/* Capacities of the emulated device and of page-locked host memory, in bytes. */
#define KELVANE_EMU_DEVICE_CAPACITY ((size_t)16 << 30)
#define KELVANE_EMU_PINNED_CAPACITY ((size_t)16 << 30)

#ifdef __cplusplus
}
#endif

#endif
