#include "device_leg.hpp"

#include "safe_call.h"
#include "timing_loop.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
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
    execute_transform = 10,
    record_stop = 11,
    wait_for_execution = 12,
    read_events = 13,
    copy_out = 14,
    copy_back_input = 15,
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

namespace {

transform_case c2c_of(std::int32_t count) {
    transform_case c;
    c.lengths = {static_cast<std::size_t>(count)};
    return c;
}

cufftType cufft_type_of(fft_type type) {
    switch (type) {
    case fft_type::c2c:
        return CUFFT_C2C;
    case fft_type::r2c:
        return CUFFT_R2C;
    case fft_type::c2r:
        return CUFFT_C2R;
    case fft_type::z2z:
        return CUFFT_Z2Z;
    case fft_type::d2z:
        return CUFFT_D2Z;
    case fft_type::z2d:
        return CUFFT_Z2D;
    }
    return CUFFT_C2C;
}

// cufftPlanMany's embed argument: the lengths (outermost first), or none for the basic layout.
int* embed_of(const case_geometry& g, const side_layout& side, std::array<int, 3>& storage) {
    if (!g.advanced) return nullptr;
    for (std::size_t t = 0; t < static_cast<std::size_t>(g.rank); ++t)
        storage[t] = static_cast<int>(side.embed[3 - static_cast<std::size_t>(g.rank) + t]);
    return storage.data();
}

// A device buffer freed on every path out.
struct device_buffer {
    void* data = nullptr;
    device_buffer(std::size_t bytes, check_line line) {
        __cudaSafeCall(cudaMalloc(&data, bytes), unit_name, line);
    }
    ~device_buffer() { cudaFree(data); }
    device_buffer(const device_buffer&) = delete;
    device_buffer& operator=(const device_buffer&) = delete;
};

struct plan_handle {
    cufftHandle handle;
    ~plan_handle() { cufftDestroy(handle); }
};

} // namespace

device_leg::device_leg(const transform_case& c)
    : case_(c), geometry_(geometry_of(c)), events_(std::make_unique<events>()) {
    __cudaSafeCall(cudaEventCreate(&events_->start), unit_name, create_events);
    __cudaSafeCall(cudaEventCreate(&events_->stop), unit_name, create_events);
}

device_leg::device_leg(std::int32_t count) : device_leg(c2c_of(count)) {}

device_leg::~device_leg() {
    cudaEventDestroy(events_->start);
    cudaEventDestroy(events_->stop);
}

// The plan of the case, or with `backwards` the plan from its output's layout to its input's.
std::int32_t device_leg::make_plan(bool backwards) const {
    const case_geometry& g = geometry_;
    const side_layout& in = backwards ? g.out : g.in;
    const side_layout& out = backwards ? g.in : g.out;
    std::array<int, 3> in_embed{};
    std::array<int, 3> out_embed{};
    int n[3] = {g.n[0], g.n[1], g.n[2]};
    cufftHandle plan = 0;
    // The basic layout through the calls most programs make, c2c_1d's among them.
    const cufftType type = cufft_type_of(case_.type);
    if (!g.advanced && (g.rank == 1 || g.batch == 1)) {
        cufftResult made = CUFFT_SUCCESS;
        if (g.rank == 1)
            made = cufftPlan1d(&plan, n[0], type, static_cast<int>(g.batch));
        else if (g.rank == 2)
            made = cufftPlan2d(&plan, n[0], n[1], type);
        else
            made = cufftPlan3d(&plan, n[0], n[1], n[2], type);
        __cufftSafeCall(made, unit_name, create_plan);
        return plan;
    }
    __cufftSafeCall(cufftPlanMany(&plan, g.rank, n, embed_of(g, in, in_embed),
                                  static_cast<int>(in.stride), static_cast<int>(in.distance),
                                  embed_of(g, out, out_embed), static_cast<int>(out.stride),
                                  static_cast<int>(out.distance), type, static_cast<int>(g.batch)),
                    unit_name, create_plan);
    return plan;
}

void device_leg::execute(std::int32_t plan, void* in, void* out, bool inverse) const {
    const int direction = forward(case_) != inverse ? CUFFT_FORWARD : CUFFT_INVERSE;
    cufftResult status = CUFFT_SUCCESS;
    switch (case_.type) {
    case fft_type::c2c:
        status = cufftExecC2C(plan, static_cast<cufftComplex*>(in), static_cast<cufftComplex*>(out),
                              direction);
        break;
    case fft_type::r2c:
        status = cufftExecR2C(plan, static_cast<cufftReal*>(in), static_cast<cufftComplex*>(out));
        break;
    case fft_type::c2r:
        status = cufftExecC2R(plan, static_cast<cufftComplex*>(in), static_cast<cufftReal*>(out));
        break;
    case fft_type::z2z:
        status = cufftExecZ2Z(plan, static_cast<cufftDoubleComplex*>(in),
                              static_cast<cufftDoubleComplex*>(out), direction);
        break;
    case fft_type::d2z:
        status = cufftExecD2Z(plan, static_cast<cufftDoubleReal*>(in),
                              static_cast<cufftDoubleComplex*>(out));
        break;
    case fft_type::z2d:
        status = cufftExecZ2D(plan, static_cast<cufftDoubleComplex*>(in),
                              static_cast<cufftDoubleReal*>(out));
        break;
    }
    __cufftSafeCall(status, unit_name, execute_transform);
}

round_times device_leg::run(const void* in, void* out) {
    const std::size_t in_bytes = geometry_.buffer_bytes(case_.in_place);
    const std::size_t out_bytes = case_.in_place ? in_bytes : geometry_.output_bytes();
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
    __cudaSafeCall(cudaMallocHost(&pinned_in, in_bytes), unit_name, allocate_input_buffer);
    __cudaSafeCall(cudaMallocHost(&pinned_out, out_bytes), unit_name, allocate_output_buffer);
    mark(phase::pinned_allocation);
    std::memcpy(pinned_in, in, in_bytes);
    mark(phase::staging_in);
    __cudaSafeCall(cudaMalloc(&device_in, in_bytes), unit_name, allocate_input);
    if (case_.in_place)
        device_out = device_in;
    else
        __cudaSafeCall(cudaMalloc(&device_out, out_bytes), unit_name, allocate_output);
    mark(phase::device_allocation);
    __cudaSafeCall(cudaMemcpy(device_in, pinned_in, in_bytes, cudaMemcpyHostToDevice), unit_name,
                   copy_in);
    __cudaSafeCall(cudaDeviceSynchronize(), unit_name, wait_for_copy_in);
    mark(phase::host_to_device);
    plan = make_plan(false);
    mark(phase::plan_creation);
    __cudaSafeCall(cudaEventRecord(events_->start, nullptr), unit_name, record_start);
    execute(plan, device_in, device_out, false);
    __cudaSafeCall(cudaEventRecord(events_->stop, nullptr), unit_name, record_stop);
    __cudaSafeCall(cudaEventSynchronize(events_->stop), unit_name, wait_for_execution);
    mark(phase::execution);
    __cudaSafeCall(cudaMemcpy(pinned_out, device_out, out_bytes, cudaMemcpyDeviceToHost), unit_name,
                   copy_out);
    mark(phase::device_to_host);
    std::memcpy(out, pinned_out, out_bytes);
    mark(phase::staging_out);
    // Releases are not checked, as in the bridge: the result is already in `out`.
    cudaFree(device_in);
    if (!case_.in_place) cudaFree(device_out);
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

device_results device_leg::results(const byte_buffer& input) {
    const std::size_t in_bytes = input.size();
    const std::size_t out_bytes = case_.in_place ? in_bytes : geometry_.output_bytes();
    device_buffer device_in(in_bytes, allocate_input);
    std::optional<device_buffer> separate_out;
    if (!case_.in_place) separate_out.emplace(out_bytes, allocate_output);
    void* const device_out = case_.in_place ? device_in.data : separate_out->data;
    __cudaSafeCall(cudaMemcpy(device_in.data, input.data(), in_bytes, cudaMemcpyHostToDevice),
                   unit_name, copy_in);
    const plan_handle plan{make_plan(false)};
    execute(plan.handle, device_in.data, device_out, false);

    device_results r;
    r.output.resize(out_bytes);
    __cudaSafeCall(cudaMemcpy(r.output.data(), device_out, out_bytes, cudaMemcpyDeviceToHost),
                   unit_name, copy_out);
    if (!case_.in_place) {
        r.input_after.emplace(in_bytes);
        __cudaSafeCall(
            cudaMemcpy(r.input_after->data(), device_in.data, in_bytes, cudaMemcpyDeviceToHost),
            unit_name, copy_back_input);
    }
    if (complex_only(case_.type)) {
        // Back from the output into a buffer of its own, so that the input read back above and
        // the output stay as they were.
        const plan_handle back{make_plan(true)};
        void* target = device_out;
        std::optional<device_buffer> separate_back;
        if (!case_.in_place) {
            separate_back.emplace(in_bytes, allocate_input);
            target = separate_back->data;
        }
        execute(back.handle, device_out, target, true);
        r.round_trip.emplace(in_bytes);
        __cudaSafeCall(cudaMemcpy(r.round_trip->data(), target, in_bytes, cudaMemcpyDeviceToHost),
                       unit_name, copy_out);
    }
    return r;
}

execution_times device_leg::time_execution(const byte_buffer& input, int warmups, int rounds,
                                           double least_seconds) {
    const std::size_t in_bytes = input.size();
    device_buffer device_in(in_bytes, allocate_input);
    std::optional<device_buffer> separate_out;
    if (!case_.in_place) separate_out.emplace(geometry_.output_bytes(), allocate_output);
    void* const device_out = case_.in_place ? device_in.data : separate_out->data;
    __cudaSafeCall(cudaMemcpy(device_in.data, input.data(), in_bytes, cudaMemcpyHostToDevice),
                   unit_name, copy_in);
    const plan_handle plan{make_plan(false)};
    auto timed = [&](std::size_t executions) {
        __cudaSafeCall(cudaEventRecord(events_->start, nullptr), unit_name, record_start);
        for (std::size_t i = 0; i < executions; ++i)
            execute(plan.handle, device_in.data, device_out, false);
        __cudaSafeCall(cudaEventRecord(events_->stop, nullptr), unit_name, record_stop);
        __cudaSafeCall(cudaEventSynchronize(events_->stop), unit_name, wait_for_execution);
        float ms = 0.0f;
        __cudaSafeCall(cudaEventElapsedTime(&ms, events_->start, events_->stop), unit_name,
                       read_events);
        return ms / 1000.0;
    };
    for (int i = 1; i < warmups; ++i)
        timed(1);
    execution_times t;
    const double first = timed(1);
    t.executions = executions_for(first, least_seconds);
    for (int round = 0; round < rounds; ++round)
        t.seconds.push_back(timed(t.executions) / static_cast<double>(t.executions));
    return t;
}

} // namespace kelvane::verify
