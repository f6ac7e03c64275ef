// The emulation behaves like a device: what passes on it must not fail on a GPU for a reason
// it could have caught.
#include "child_process.hpp"
#include "cuda_runtime_api.h"
#include "cufft.h"
#include "kelvane_emu.h"

#include <csignal>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// A device buffer for the length of a test.
class device_buffer {
  public:
    explicit device_buffer(std::size_t bytes) {
        EXPECT_EQ(cudaMalloc(&address_, bytes), cudaSuccess);
    }
    ~device_buffer() { cudaFree(address_); }
    device_buffer(const device_buffer&) = delete;
    device_buffer& operator=(const device_buffer&) = delete;
    void* get() const { return address_; }
    template <class T>
    T* as() const {
        return static_cast<T*>(address_);
    }

  private:
    void* address_ = nullptr;
};

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
    const auto result = kelvane::testing::run_in_child([&device] {
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

TEST(EmulatedFft, PlansCheckSizeAndType) {
    cufftHandle plan = -1;
    struct row {
        int length;
        int type;
        int batch;
        cufftResult expected;
    };
    const row rows[] = {
        {0, CUFFT_C2C, 1, CUFFT_INVALID_SIZE},  {-1, CUFFT_C2C, 1, CUFFT_INVALID_SIZE},
        {8, CUFFT_C2C, 0, CUFFT_INVALID_SIZE},  {8, 0x28, 1, CUFFT_INVALID_TYPE},
        {8, CUFFT_R2C, 1, CUFFT_NOT_SUPPORTED}, {8, CUFFT_Z2Z, 1, CUFFT_NOT_SUPPORTED},
    };
    for (const auto& [length, type, batch, expected] : rows)
        EXPECT_EQ(cufftPlan1d(&plan, length, static_cast<cufftType>(type), batch), expected)
            << length << " " << type << " " << batch;
    EXPECT_EQ(cufftPlan1d(nullptr, 8, CUFFT_C2C, 1), CUFFT_INVALID_VALUE);
    EXPECT_EQ(kelvane_emu_take_census().plans, 0U);
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

TEST(EmulatedFaults, UnreadableSettingsAreRefused) {
    // A test that means to inject a fault must not pass because the fault went unnoticed.
    for (const char* setting :
         {"cudaMalloc", "cudaMalloc:0:2", "cudaMalloc:1:0", "cudaMalloc:1:1000", "cufftPlan1d:1:21",
          "cudaMallocManaged:1:2", "cudaMalloc:x:2"}) {
        const auto result = kelvane::testing::run_program(
            {KELVANE_DEVICE_CALLER, "c2c_1d", "8"}, {std::string("KELVANE_EMU_FAIL=") + setting});
        EXPECT_EQ(result.exit_status, 2) << setting;
        EXPECT_NE(result.err.find("KELVANE_EMU_FAIL: cannot read"), std::string::npos) << setting;
    }
}

} // namespace
