/* The check routines of the GPU bridge, for every allocation, copy, plan creation and
 * execution: they return when the status is 0, and otherwise write one line naming the
 * source unit and line to standard error and end the process with exit(-1), status 255. */
#ifndef KELVANE_SAFE_CALL_H
#define KELVANE_SAFE_CALL_H

#include <cuda_runtime_api.h>
#include <cufft.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* "<file>(<line>) : cudaSafeCall() Runtime API error : <cudaGetErrorString(err)>." */
void __cudaSafeCall(cudaError_t err, const char* file, int32_t line);

/* "<file>(<line>) : cufftSafeCall() CUFFT error." The status itself is not shown. */
void __cufftSafeCall(cufftResult err, const char* file, int32_t line);

#ifdef __cplusplus
}
#endif

#endif
