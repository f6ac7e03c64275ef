// The emulation behaves like a device: what passes on it must not fail on a GPU for a reason
// it could have caught.
#include "child_process.hpp"
#include "cuda_runtime_api.h"
#include "cufft.h"
#include "device_array.hpp"
#include "kelvane_emu.h"

#include <csignal>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// Bytes of device memory for the length of a test.
using device_buffer = kelvane::test_support::device_array<char>;

TEST(EmulatedRuntime, AllocationLimits) {
    // Sizes the device cannot hold fail as the runtime does; zero bytes give no buffer.
    void* address = &address;
    for (const std::size_t bytes : {std::size_t{KELVANE_EMU_DEVICE_CAPACITY} + 1,
                                    static_cast<std::size_t>(std::int64_t{-1} * 8),
                                    static_cast<std::size_t>(std::int64_t{INT32_MIN} * 8)}) {
        EXPECT_EQ(cudaMalloc(&address, bytes), cudaErrorMemoryAllocation) << bytes;
        EXPECT_EQ(cudaMallocHost(&address, bytes), cudaErrorMemoryAllocation) << bytes;
    }
    EXPECT_EQ(cudaMalloc(&address, 0), cudaSuccess);
    EXPECT_EQ(address, nullptr);
    EXPECT_EQ(cudaMalloc(nullptr, 8), cudaErrorInvalidValue);
    EXPECT_EQ(cudaFree(nullptr), cudaSuccess);
    int host_object = 0;
    EXPECT_EQ(cudaFree(&host_object), cudaErrorInvalidValue);
    EXPECT_EQ(cudaFreeHost(&host_object), cudaErrorInvalidValue);
    EXPECT_EQ(kelvane_emu_take_census().device_buffers, 0U);
}

TEST(EmulatedRuntime, CopiesCheckDirectionSidesAndBounds) {
    // The device buffer is 64 bytes; host memory is anything not in the device registry.
    device_buffer device(64);
    std::vector<char> host(128, 'h');
    char* const on_device = device.as<char>();
    struct row {
        const char* what;
        void* dst;
        const void* src;
        std::size_t count;
        cudaMemcpyKind kind;
        cudaError_t expected;
    };
    const row rows[] = {
        {"host to device", on_device, host.data(), 64, cudaMemcpyHostToDevice, cudaSuccess},
        {"device to host", host.data(), on_device, 64, cudaMemcpyDeviceToHost, cudaSuccess},
        {"tail of the buffer", on_device + 32, host.data(), 32, cudaMemcpyHostToDevice,
         cudaSuccess},
        {"past the end", on_device + 32, host.data(), 33, cudaMemcpyHostToDevice,
         cudaErrorInvalidValue},
        {"larger than the buffer", host.data(), on_device, 65, cudaMemcpyDeviceToHost,
         cudaErrorInvalidValue},
        {"host pointer as device", host.data(), host.data() + 64, 8, cudaMemcpyHostToDevice,
         cudaErrorInvalidValue},
        {"device pointer as host", on_device, on_device, 8, cudaMemcpyHostToDevice,
         cudaErrorInvalidValue},
        {"directions swapped", on_device, host.data(), 8, cudaMemcpyDeviceToHost,
         cudaErrorInvalidValue},
        {"null host pointer", on_device, nullptr, 8, cudaMemcpyHostToDevice, cudaErrorInvalidValue},
        {"device to device", on_device, on_device + 8, 8, cudaMemcpyDeviceToDevice,
         cudaErrorInvalidMemcpyDirection},
        {"default kind", on_device, host.data(), 8, cudaMemcpyDefault,
         cudaErrorInvalidMemcpyDirection},
        {"nothing to copy", nullptr, nullptr, 0, cudaMemcpyHostToDevice, cudaSuccess},
    };
    for (const auto& [what, dst, src, count, kind, expected] : rows)
        EXPECT_EQ(cudaMemcpy(dst, src, count, kind), expected) << what;
}

TEST(EmulatedRuntime, DeviceMemoryIsNotHostMemory) {
    // Host code that reads a device address faults, as on a GPU.
    device_buffer device(64);
    const auto result = kelvane::test_support::run_in_child([&device] {
        std::signal(SIGSEGV, SIG_DFL); // the sanitizer would turn the fault into an exit
        volatile char value = *device.as<volatile char>();
        (void)value;
    });
    EXPECT_EQ(result.signal, SIGSEGV);
}

TEST(EmulatedRuntime, ErrorStringsAreTheRuntimes) {
    const std::pair<cudaError_t, const char*> rows[] = {
        {cudaSuccess, "no error"},
        {cudaErrorInvalidValue, "invalid argument"},
        {cudaErrorMemoryAllocation, "out of memory"},
        {cudaErrorInvalidMemcpyDirection, "invalid copy direction for memcpy"},
        {cudaErrorInsufficientDriver,
         "CUDA driver version is insufficient for CUDA runtime version"},
        {cudaErrorNoDevice, "no CUDA-capable device is detected"},
        {static_cast<cudaError_t>(555), "unrecognized error code"},
    };
    for (const auto& [status, text] : rows)
        EXPECT_STREQ(cudaGetErrorString(status), text) << status;
}

TEST(EmulatedFft, ExecutionChecksPlanDirectionAndBuffers) {
    // A plan of 8 samples needs 64 bytes on each side.
    cufftHandle plan = -1;
    ASSERT_EQ(cufftPlan1d(&plan, 8, CUFFT_C2C, 1), CUFFT_SUCCESS);
    device_buffer in(64);
    device_buffer out(64);
    device_buffer small(56);
    std::vector<cufftComplex> host(8);
    auto* const device_in = in.as<cufftComplex>();
    auto* const device_out = out.as<cufftComplex>();
    struct row {
        const char* what;
        cufftHandle plan;
        cufftComplex* idata;
        cufftComplex* odata;
        int direction;
        cufftResult expected;
    };
    const row rows[] = {
        {"forward", plan, device_in, device_out, CUFFT_FORWARD, CUFFT_SUCCESS},
        {"inverse in place", plan, device_in, device_in, CUFFT_INVERSE, CUFFT_SUCCESS},
        {"unknown plan", plan + 1000, device_in, device_out, CUFFT_FORWARD, CUFFT_INVALID_PLAN},
        {"direction 0", plan, device_in, device_out, 0, CUFFT_INVALID_VALUE},
        {"host input", plan, host.data(), device_out, CUFFT_FORWARD, CUFFT_INVALID_VALUE},
        {"host output", plan, device_in, host.data(), CUFFT_FORWARD, CUFFT_INVALID_VALUE},
        {"short output", plan, device_in, small.as<cufftComplex>(), CUFFT_FORWARD,
         CUFFT_INVALID_VALUE},
        {"offset input", plan, device_in + 1, device_out, CUFFT_FORWARD, CUFFT_INVALID_VALUE},
    };
    for (const auto& [what, handle, idata, odata, direction, expected] : rows)
        EXPECT_EQ(cufftExecC2C(handle, idata, odata, direction), expected) << what;
    EXPECT_EQ(cufftDestroy(plan), CUFFT_SUCCESS);
    EXPECT_EQ(cufftExecC2C(plan, device_in, device_out, CUFFT_FORWARD), CUFFT_INVALID_PLAN);
    EXPECT_EQ(cufftDestroy(plan), CUFFT_INVALID_PLAN);
}

TEST(EmulatedRuntime, DeviceInformationNamesTheEmulation) {
    // A report must never pass the emulation off as a GPU.
    int count = 0;
    EXPECT_EQ(cudaGetDeviceCount(&count), cudaSuccess);
    EXPECT_EQ(count, 1);
    cudaDeviceProp properties{};
    ASSERT_EQ(cudaGetDeviceProperties(&properties, 0), cudaSuccess);
    EXPECT_STREQ(properties.name, "kelvane host emulation");
    EXPECT_EQ(properties.major, 0);
    EXPECT_EQ(cudaGetDeviceProperties(&properties, 1), cudaErrorInvalidDevice);
    int runtime = 0;
    int driver = 0;
    int cufft = 0;
    EXPECT_EQ(cudaRuntimeGetVersion(&runtime), cudaSuccess);
    EXPECT_EQ(cudaDriverGetVersion(&driver), cudaSuccess);
    EXPECT_EQ(cufftGetVersion(&cufft), CUFFT_SUCCESS);
    EXPECT_EQ(runtime, 13000);
    EXPECT_EQ(driver, 13000);
    EXPECT_EQ(cufft, 12000);
    EXPECT_EQ(cudaDeviceSynchronize(), cudaSuccess);
}

TEST(EmulatedRuntime, EventsTimeOnlyWhatWasRecorded) {
    // Elapsed time needs two live, recorded events; anything else is a handle error.
    cudaEvent_t start = nullptr;
    cudaEvent_t stop = nullptr;
    ASSERT_EQ(cudaEventCreate(&start), cudaSuccess);
    ASSERT_EQ(cudaEventCreate(&stop), cudaSuccess);
    float ms = -1.0f;
    EXPECT_EQ(cudaEventElapsedTime(&ms, start, stop), cudaErrorInvalidResourceHandle);
    EXPECT_EQ(cudaEventRecord(start, nullptr), cudaSuccess);
    EXPECT_EQ(cudaEventRecord(stop, nullptr), cudaSuccess);
    EXPECT_EQ(cudaEventSynchronize(stop), cudaSuccess);
    EXPECT_EQ(cudaEventElapsedTime(&ms, start, stop), cudaSuccess);
    EXPECT_GE(ms, 0.0f);
    EXPECT_EQ(cudaEventElapsedTime(nullptr, start, stop), cudaErrorInvalidValue);
    EXPECT_EQ(cudaEventDestroy(stop), cudaSuccess);
    EXPECT_EQ(cudaEventElapsedTime(&ms, start, stop), cudaErrorInvalidResourceHandle);
    EXPECT_EQ(cudaEventRecord(stop, nullptr), cudaErrorInvalidResourceHandle);
    EXPECT_EQ(cudaEventDestroy(stop), cudaErrorInvalidResourceHandle);
    EXPECT_EQ(cudaEventDestroy(start), cudaSuccess);
}

TEST(EmulatedFaults, UnreadableSettingsAreRefused) {
    // A test that means to inject a fault must not pass because the fault went unnoticed:
    // everything outside "operation:call:status[,...]" (and "bin:offset[,...]" for the
    // corruption of spectra) ends the process with status 2.
    struct row {
        const char* why;
        const char* setting;
        const char* variable = "KELVANE_EMU_FAIL";
    };
    const row rows[] = {
        {"no call or status", "cudaMalloc"},
        {"call 0", "cudaMalloc:0:2"},
        {"status 0", "cudaMalloc:1:0"},
        {"status past the runtime's", "cudaMalloc:1:1000"},
        {"status past cuFFT's", "cufftPlan1d:1:21"},
        {"unknown operation", "cudaMallocManaged:1:2"},
        {"call not a number", "cudaMalloc:x:2"},
        {"negative call", "cufftPlan1d:-1:5"},
        {"call past size_t", "cufftPlan1d:99999999999999999999999:5"},
        {"negative call that wraps to 1", "cufftPlan1d:-18446744073709551615:5"},
        {"blank before a number", "cudaMalloc: 1:2"},
        {"plus before a number", "cudaMalloc:+1:2"},
        {"blank after a number", "cudaMalloc:1 :2"},
        {"trailing comma", "cudaMalloc:1:2,"},
        {"leading comma", ",cudaMalloc:1:2"},
        {"a fourth field", "cudaMalloc:1:2:3"},
        {"the same call twice", "cudaMalloc:1:2,cudaMalloc:1:3"},
        {"bin without offset", "3", "KELVANE_EMU_PERTURB"},
        {"negative bin", "-3:1", "KELVANE_EMU_PERTURB"},
        {"offset not a number", "3:x", "KELVANE_EMU_PERTURB"},
        {"infinite offset", "3:inf", "KELVANE_EMU_PERTURB"},
        {"text after the offset", "3:1.5s", "KELVANE_EMU_PERTURB"},
        {"trailing comma", "3:1,", "KELVANE_EMU_PERTURB"},
    };
    for (const auto& [why, setting, variable] : rows) {
        const auto result = kelvane::test_support::run_program(
            {KELVANE_DEVICE_CALLER, "c2c_1d", "8"}, {std::string(variable) + "=" + setting});
        EXPECT_EQ(result.exit_status, 2) << why << ": " << setting;
        EXPECT_NE(result.err.find(std::string(variable) + ": cannot read"), std::string::npos)
            << why;
    }
}

TEST(EmulatedFaults, SeveralEntriesEachInjectTheirFault) {
    // Two calls of one operation and an empty setting, all within the grammar.
    struct row {
        const char* setting;
        int exit_status;
        const char* err;
    };
    const row rows[] = {
        {"", 0, ""},
        {"cudaMalloc:3:2,cudaMalloc:2:2", 255,
         "ostrel(18) : cudaSafeCall() Runtime API error : out of memory.\n"},
        {"cufftExecC2C:2:6,cudaMallocHost:1:2", 255,
         "c2c_1d(11) : cudaSafeCall() Runtime API error : out of memory.\n"},
    };
    for (const auto& [setting, exit_status, err] : rows) {
        const auto result = kelvane::test_support::run_program(
            {KELVANE_DEVICE_CALLER, "c2c_1d", "8"}, {std::string("KELVANE_EMU_FAIL=") + setting});
        EXPECT_EQ(result.exit_status, exit_status) << setting;
        EXPECT_EQ(result.err, err) << setting;
    }
}

TEST(EmulatedCufft, PlanReservesItsWorkAreaOnTheDevice) {
    // As with the real library, a plan whose work area does not fit fails when it is made,
    // not when it runs; the area is given back when the plan is destroyed.
    constexpr int length = 1 << 20;
    const std::size_t free_bytes = std::size_t{4} << 20;
    {
        device_buffer nearly_all(std::size_t{KELVANE_EMU_DEVICE_CAPACITY} - free_bytes);
        cufftHandle plan = 0;
        EXPECT_EQ(cufftPlan1d(&plan, length, CUFFT_C2C, 1), CUFFT_ALLOC_FAILED);
        EXPECT_EQ(kelvane_emu_take_census().plans, 0U);
        EXPECT_EQ(cufftPlan1d(&plan, 1000, CUFFT_C2C, 1), CUFFT_SUCCESS) << "a small one fits";
        EXPECT_EQ(cufftDestroy(plan), CUFFT_SUCCESS);
    }
    cufftHandle plan = 0;
    ASSERT_EQ(cufftPlan1d(&plan, length, CUFFT_C2C, 1), CUFFT_SUCCESS);
    EXPECT_GE(kelvane_emu_take_census().device_bytes, std::size_t{length} * sizeof(cufftComplex));
    EXPECT_EQ(cufftDestroy(plan), CUFFT_SUCCESS);
    EXPECT_EQ(kelvane_emu_take_census().device_bytes, 0U);
}

} // namespace
