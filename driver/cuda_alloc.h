/* cuda_alloc: the page-locked host memory operations of the CUDA runtime that the staging
 * wrapper uses, from the runtime's own header (or the emulation's, which has the same ones):
 *     cudaError_t cudaMallocHost(void** host_address, size_t bytes);
 *     cudaError_t cudaFreeHost(void* host_address); */
#ifndef KELVANE_CUDA_ALLOC_H
#define KELVANE_CUDA_ALLOC_H

#include <cuda_runtime_api.h>

#endif
