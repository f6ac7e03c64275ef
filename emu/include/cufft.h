/* The part of the cuFFT API that the host emulation provides: plans of every type, rank 1 to 3,
 * batched, in the basic or the advanced layout, their work-area sizes and executions, with the
 * same names, signatures, status values and constants as the real library. */
#ifndef KELVANE_EMU_CUFFT_H
#define KELVANE_EMU_CUFFT_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum cufftResult_t {
    CUFFT_SUCCESS = 0x0,
    CUFFT_INVALID_PLAN = 0x1,
    CUFFT_ALLOC_FAILED = 0x2,
    CUFFT_INVALID_TYPE = 0x3,
    CUFFT_INVALID_VALUE = 0x4,
    CUFFT_INTERNAL_ERROR = 0x5,
    CUFFT_EXEC_FAILED = 0x6,
    CUFFT_SETUP_FAILED = 0x7,
    CUFFT_INVALID_SIZE = 0x8,
    CUFFT_UNALIGNED_DATA = 0x9,
    CUFFT_INVALID_DEVICE = 0xB,
    CUFFT_NO_WORKSPACE = 0xD,
    CUFFT_NOT_IMPLEMENTED = 0xE,
    CUFFT_NOT_SUPPORTED = 0x10
} cufftResult;

typedef enum cufftType_t {
    CUFFT_R2C = 0x2a,
    CUFFT_C2R = 0x2c,
    CUFFT_C2C = 0x29,
    CUFFT_D2Z = 0x6a,
    CUFFT_Z2D = 0x6c,
    CUFFT_Z2Z = 0x69
} cufftType;

typedef int cufftHandle;

/* A handle that was never made a plan, which cufftDestroy accepts. */
#define CUFFT_PLAN_NULL -1

typedef float cufftReal;
typedef double cufftDoubleReal;

typedef struct {
    float x;
    float y;
} cufftComplex;

typedef struct {
    double x;
    double y;
} cufftDoubleComplex;

#define CUFFT_FORWARD -1
#define CUFFT_INVERSE 1

cufftResult cufftPlan1d(cufftHandle* plan, int nx, cufftType type, int batch);
cufftResult cufftPlan2d(cufftHandle* plan, int nx, int ny, cufftType type);
cufftResult cufftPlan3d(cufftHandle* plan, int nx, int ny, int nz, cufftType type);
cufftResult cufftPlanMany(cufftHandle* plan, int rank, int* n, int* inembed, int istride, int idist,
                          int* onembed, int ostride, int odist, cufftType type, int batch);

cufftResult cufftEstimate1d(int nx, cufftType type, int batch, size_t* workSize);
cufftResult cufftEstimate2d(int nx, int ny, cufftType type, size_t* workSize);
cufftResult cufftEstimate3d(int nx, int ny, int nz, cufftType type, size_t* workSize);
cufftResult cufftEstimateMany(int rank, int* n, int* inembed, int istride, int idist, int* onembed,
                              int ostride, int odist, cufftType type, int batch, size_t* workSize);
cufftResult cufftGetSize(cufftHandle handle, size_t* workSize);

cufftResult cufftExecC2C(cufftHandle plan, cufftComplex* idata, cufftComplex* odata, int direction);
cufftResult cufftExecR2C(cufftHandle plan, cufftReal* idata, cufftComplex* odata);
cufftResult cufftExecC2R(cufftHandle plan, cufftComplex* idata, cufftReal* odata);
cufftResult cufftExecZ2Z(cufftHandle plan, cufftDoubleComplex* idata, cufftDoubleComplex* odata,
                         int direction);
cufftResult cufftExecD2Z(cufftHandle plan, cufftDoubleReal* idata, cufftDoubleComplex* odata);
cufftResult cufftExecZ2D(cufftHandle plan, cufftDoubleComplex* idata, cufftDoubleReal* odata);

cufftResult cufftDestroy(cufftHandle plan);
cufftResult cufftGetVersion(int* version);

#ifdef __cplusplus
}
#endif

#endif
