/* The host emulation of the CUDA runtime and cuFFT: what it adds for tests.
 *
 * Device memory is a registry apart from host memory: device addresses are reserved but
 * inaccessible pages, so host code that dereferences one faults as it would with a GPU.
 * Copies check their direction, the side of each pointer and the bounds of the allocation;
 * executions check the plan and the buffers. Each output element is the exact transform rounded
 * once to the plan's precision, computed in double for single-precision plans and in long double
 * for double-precision ones.
 *
 * Fault injection: KELVANE_EMU_FAIL="operation:call:status[,...]" makes call number `call`
 * (from 1) of `operation` (any runtime or cuFFT function this emulation provides, by its name)
 * return `status` (1 to 999 for the runtime, 1 to 20 for cuFFT) without doing anything else.
 * Numbers are plain decimal digits, entries are separated by single commas, and each call may
 * be named once; an empty value injects nothing. The variable is read at the first call; an
 * entry it cannot read ends the process with a message and exit status 2.
 *
 * Corruption: KELVANE_EMU_PERTURB="bin:offset[,...]" adds `offset` (a decimal number) to the
 * real part of output element `bin` (from 0, the flat index in the output buffer, in elements
 * of the output's type) of every execution whose output reaches it, so that tests can check
 * that a wrong spectrum is caught. Read and refused like KELVANE_EMU_FAIL.
 *
 * Device information: one device, named "kelvane host emulation", compute capability 0.0,
 * with the capacity below; the runtime and driver report version 13000, cuFFT 12000. Events
 * take the host's monotonic clock. */
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
