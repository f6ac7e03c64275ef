// Calls each cuFFT operation of the emulation once, in a fresh process, and prints each one's
// name and status, for tests that inject faults: KELVANE_EMU_FAIL is read at the first call.
#include "cuda_runtime_api.h"
#include "cufft.h"

#include <cstdio>

int main() {
    void* buffer = nullptr;
    if (cudaMalloc(&buffer, 1 << 12) != cudaSuccess) return 2;
    auto* complex_single = static_cast<cufftComplex*>(buffer);
    auto* real_single = static_cast<cufftReal*>(buffer);
    auto* complex_double = static_cast<cufftDoubleComplex*>(buffer);
    auto* real_double = static_cast<cufftDoubleReal*>(buffer);
    int n[1] = {8};
    size_t work = 0;
    cufftHandle plans[6] = {};
    auto report = [](const char* name, cufftResult status) {
        std::printf("%s %d\n", name, static_cast<int>(status));
    };
    report("cufftPlan1d", cufftPlan1d(&plans[0], 8, CUFFT_C2C, 1));
    report("cufftPlan2d", cufftPlan2d(&plans[1], 2, 4, CUFFT_R2C));
    report("cufftPlan3d", cufftPlan3d(&plans[2], 2, 2, 4, CUFFT_C2R));
    report("cufftPlanMany",
           cufftPlanMany(&plans[3], 1, n, nullptr, 1, 0, nullptr, 1, 0, CUFFT_Z2Z, 1));
    cufftPlan1d(&plans[4], 8, CUFFT_D2Z, 1);
    cufftPlan1d(&plans[5], 8, CUFFT_Z2D, 1);
    report("cufftEstimate1d", cufftEstimate1d(8, CUFFT_C2C, 1, &work));
    report("cufftEstimate2d", cufftEstimate2d(2, 4, CUFFT_C2C, &work));
    report("cufftEstimate3d", cufftEstimate3d(2, 2, 4, CUFFT_C2C, &work));
    report("cufftEstimateMany",
           cufftEstimateMany(1, n, nullptr, 1, 0, nullptr, 1, 0, CUFFT_C2C, 1, &work));
    report("cufftGetSize", cufftGetSize(plans[0], &work));
    report("cufftExecC2C", cufftExecC2C(plans[0], complex_single, complex_single, CUFFT_FORWARD));
    report("cufftExecR2C", cufftExecR2C(plans[1], real_single, complex_single));
    report("cufftExecC2R", cufftExecC2R(plans[2], complex_single, real_single));
    report("cufftExecZ2Z", cufftExecZ2Z(plans[3], complex_double, complex_double, CUFFT_INVERSE));
    report("cufftExecD2Z", cufftExecD2Z(plans[4], real_double, complex_double));
    report("cufftExecZ2D", cufftExecZ2D(plans[5], complex_double, real_double));
    report("cufftDestroy", cufftDestroy(plans[0]));
    return 0;
}
