#include "ostrel.h"

#include "safe_call.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The exit status of a failed check: exit(-1), as the shell sees it.
constexpr int failed_check_status = 255;

// The unit name and line constants of every check, as the failure lines show them.
constexpr const char* unit_name = "ostrel";
enum check_line : std::int32_t {
    allocate_input = 17,
    allocate_output = 18,
    copy_in = 19,
    create_plan = 20,
    execute = 21,
    copy_out = 22,
};

} // namespace

extern "C" void __cudaSafeCall(cudaError_t err, const char* file, std::int32_t line) {
    if (err == cudaSuccess) return;
    std::fprintf(stderr, "%s(%i) : cudaSafeCall() Runtime API error : %s.\n", file, line,
                 cudaGetErrorString(err));
    std::exit(failed_check_status);
}

extern "C" void __cufftSafeCall(cufftResult err, const char* file, std::int32_t line) {
    if (err == CUFFT_SUCCESS) return;
    std::fprintf(stderr, "%s(%i) : cufftSafeCall() CUFFT error.\n", file, line);
    std::exit(failed_check_status);
}

extern "C" void fft_1d_c2c_(const std::int32_t* n, const kelvane_complex* in,
                            kelvane_complex* out) {
    // The byte size from the sign-extended count: a negative count asks for an impossible
    // allocation, which the first check reports.
    const auto bytes = static_cast<std::uint64_t>(static_cast<std::int64_t>(*n)) *
                       static_cast<std::uint64_t>(sizeof(kelvane_complex));
    void* device_in = nullptr;
    void* device_out = nullptr;
    cufftHandle plan = 0;
    __cudaSafeCall(cudaMalloc(&device_in, bytes), unit_name, allocate_input);
    __cudaSafeCall(cudaMalloc(&device_out, bytes), unit_name, allocate_output);
    __cudaSafeCall(cudaMemcpy(device_in, in, bytes, cudaMemcpyHostToDevice), unit_name, copy_in);
    __cufftSafeCall(cufftPlan1d(&plan, *n, CUFFT_C2C, 1), unit_name, create_plan);
    __cufftSafeCall(cufftExecC2C(plan, static_cast<cufftComplex*>(device_in),
                                 static_cast<cufftComplex*>(device_out), CUFFT_FORWARD),
                    unit_name, execute);
    // The copy back waits for the transform, so `out` is complete when it returns.
    __cudaSafeCall(cudaMemcpy(out, device_out, bytes, cudaMemcpyDeviceToHost), unit_name, copy_out);
    // Releases are not checked: the result is already in `out`.
    cudaFree(device_in);
    cudaFree(device_out);
    cufftDestroy(plan);
}
