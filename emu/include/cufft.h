/* The part of the cuFFT API that kelvane calls, as the host emulation provides it: the same
 * names, signatures, status values and constants as the real library. */
#ifndef KELVANE_EMU_CUFFT_H
#define KELVANE_EMU_CUFFT_H

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

typedef struct {
    float x;
    float y;
} cufftComplex;

#define CUFFT_FORWARD -1
#define CUFFT_INVERSE 1

cufftResult cufftPlan1d(cufftHandle* plan, int nx, cufftType type, int batch);
cufftResult cufftExecC2C(cufftHandle plan, cufftComplex* idata, cufftComplex* odata, int direction);
cufftResult cufftDestroy(cufftHandle plan);
cufftResult cufftGetVersion(int* version);

#ifdef __cplusplus
}
#endif

#endif
