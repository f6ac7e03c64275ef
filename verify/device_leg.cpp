#include "device_leg.hpp"

#include "safe_call.h"

#include <chrono>
#include <cstring>
#include <cuda_runtime_api.h>
#include <cufft.h>

namespace kelvane::verify {
namespace {

using host_clock = std::chrono::steady_clock;

constexpr const char* unit_name = "device_leg";
enum check_line : std::int32_t {
    create_events = 1,
    allocate_input_buffer = 2,
    allocate_output_buffer = 3,
    allocate_input = 4,
    allocate_output = 5,
    copy_in = 6,
    wait_for_copy_in = 7,
    create_plan = 8,
    record_start = 9,
    execute = 10,
    record_stop = 11,
    wait_for_execution = 12,
    read_events = 13,
    copy_out = 14,
};

double seconds_between(host_clock::time_point start, host_clock::time_point end) {
    return std::chrono::duration<double>(end - start).count();
}

#ifdef KELVANE_EMULATED_DEVICE
constexpr bool emulated = true;
#else
constexpr bool emulated = false;
#endif

} // namespace

struct device_leg::events {
    cudaEvent_t start = nullptr;
    cudaEvent_t stop = nullptr;
};

std::optional<device_description> describe_device(double& context_seconds, std::string& error) {
    const auto before = host_clock::now();
    const cudaError_t first = cudaFree(nullptr);
    context_seconds = seconds_between(before, host_clock::now());
    device_description description;
    cudaDeviceProp properties{};
    cudaError_t status = first;
    if (status == cudaSuccess) status = cudaGetDeviceProperties(&properties, 0);
    if (status == cudaSuccess) status = cudaDriverGetVersion(&description.driver_version);
    if (status == cudaSuccess) status = cudaRuntimeGetVersion(&description.runtime_version);
    if (status != cudaSuccess) {
        error = cudaGetErrorString(status);
        return std::nullopt;
    }
    if (cufftGetVersion(&description.cufft_version) != CUFFT_SUCCESS) {
        error = "cuFFT did not give its version";
        return std::nullopt;
    }
    description.emulated = emulated;
    description.name = properties.name;
    description.major = properties.major;
    description.minor = properties.minor;
    return description;
}

device_leg::device_leg(std::int32_t count) : count_(count), events_(std::make_unique<events>()) {
    __cudaSafeCall(cudaEventCreate(&events_->start), unit_name, create_events);
    __cudaSafeCall(cudaEventCreate(&events_->stop), unit_name, create_events);
}

device_leg::~device_leg() {
    cudaEventDestroy(events_->start);
    cudaEventDestroy(events_->stop);
}

round_times device_leg::run(const kelvane_complex* in, kelvane_complex* out) {
    const auto bytes = static_cast<std::size_t>(count_) * sizeof(kelvane_complex);
    void* pinned_in = nullptr;
    void* pinned_out = nullptr;
    void* device_in = nullptr;
    void* device_out = nullptr;
    cufftHandle plan = 0;
    round_times times;
    std::array<host_clock::time_point, phase_names.size() + 1> marks;
    auto mark = [&marks](phase finished) {
        marks[static_cast<std::size_t>(finished) + 1] = host_clock::now();
    };

    marks[0] = host_clock::now();
    __cudaSafeCall(cudaMallocHost(&pinned_in, bytes), unit_name, allocate_input_buffer);
    __cudaSafeCall(cudaMallocHost(&pinned_out, bytes), unit_name, allocate_output_buffer);
    mark(phase::pinned_allocation);
    std::memcpy(pinned_in, in, bytes);
    mark(phase::staging_in);
    __cudaSafeCall(cudaMalloc(&device_in, bytes), unit_name, allocate_input);
    __cudaSafeCall(cudaMalloc(&device_out, bytes), unit_name, allocate_output);
    mark(phase::device_allocation);
    __cudaSafeCall(cudaMemcpy(device_in, pinned_in, bytes, cudaMemcpyHostToDevice), unit_name,
                   copy_in);
    __cudaSafeCall(cudaDeviceSynchronize(), unit_name, wait_for_copy_in);
    mark(phase::host_to_device);
    __cufftSafeCall(cufftPlan1d(&plan, count_, CUFFT_C2C, 1), unit_name, create_plan);
    mark(phase::plan_creation);
    __cudaSafeCall(cudaEventRecord(events_->start, nullptr), unit_name, record_start);
    __cufftSafeCall(cufftExecC2C(plan, static_cast<cufftComplex*>(device_in),
                                 static_cast<cufftComplex*>(device_out), CUFFT_FORWARD),
                    unit_name, execute);
    __cudaSafeCall(cudaEventRecord(events_->stop, nullptr), unit_name, record_stop);
    __cudaSafeCall(cudaEventSynchronize(events_->stop), unit_name, wait_for_execution);
    mark(phase::execution);
    __cudaSafeCall(cudaMemcpy(pinned_out, device_out, bytes, cudaMemcpyDeviceToHost), unit_name,
                   copy_out);
    mark(phase::device_to_host);
    std::memcpy(out, pinned_out, bytes);
    mark(phase::staging_out);
    // Releases are not checked, as in the bridge: the result is already in `out`.
    cudaFree(device_in);
    cudaFree(device_out);
    cufftDestroy(plan);
    cudaFreeHost(pinned_in);
    cudaFreeHost(pinned_out);
    mark(phase::releases);

    for (std::size_t i = 0; i < phase_names.size(); ++i)
        times.seconds[i] = seconds_between(marks[i], marks[i + 1]);
    float execution_ms = 0.0f;
    __cudaSafeCall(cudaEventElapsedTime(&execution_ms, events_->start, events_->stop), unit_name,
                   read_events);
    times.seconds[static_cast<std::size_t>(phase::execution)] = execution_ms / 1000.0;
    times.wall_seconds = seconds_between(marks.front(), marks.back());
    return times;
}

} // namespace kelvane::verify
