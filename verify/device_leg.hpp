// The device leg of a transform taken apart: each phase timed on its own, the execution alone
// timed back to back, the results an accuracy check needs, and what the device says of itself.
// Built once per device variant, like c2c_1d.
#pragma once

#include "case_data.hpp"
#include "transform_case.hpp"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::verify {

enum class phase {
    pinned_allocation,
    staging_in,
    device_allocation,
    host_to_device,
    plan_creation,
    execution,
    device_to_host,
    staging_out,
    releases,
};
inline constexpr std::array<std::string_view, 9> phase_names = {
    "pinned_allocation", "staging_in",     "device_allocation", "host_to_device", "plan_creation",
    "execution",         "device_to_host", "staging_out",       "releases",
};

// One round: every phase's seconds, and the host's seconds from the first phase's start to
// the last one's end. The phases are disjoint, so they add up to no more than the round.
struct round_times {
    std::array<double, phase_names.size()> seconds{};
    double wall_seconds = 0.0;
};

struct device_description {
    bool emulated = false;
    std::string name;
    int major = 0;
    int minor = 0;
    int driver_version = 0;
    int runtime_version = 0;
    int cufft_version = 0;
};

// Makes the first runtime call, which on a GPU creates the context, and times it; then asks
// the device for its name, compute capability and versions. Nothing when no device is usable,
// with the runtime's text in `error`.
std::optional<device_description> describe_device(double& context_seconds, std::string& error);

// What the device gives for a case's input, for the accuracy check.
struct device_results {
    byte_buffer output; // the output buffer; in place, the whole buffer
    // Out of place: the input buffer read back after the execution.
    std::optional<byte_buffer> input_after;
    // C2C and Z2Z: the output transformed back in the other direction, in the input's layout.
    std::optional<byte_buffer> round_trip;
};

// The execution alone: `executions` back-to-back executions a round, timed on the device's
// clock around the loop, and each round's seconds per execution.
struct execution_times {
    std::size_t executions = 1;
    std::vector<double> seconds;
};

// The leg as c2c_1d and fft_1d_c2c make it, for any case: page-locked buffers, the staging
// copies, device buffers, both transfers, the plan (cufftPlanMany), the execution and the
// releases. Execution is timed on the device's own clock (events), every other phase on the
// host's monotonic clock, each after the synchronisation it needs. A round allocates nothing
// beyond what the leg itself does. A failing call ends the process with the bridge's line,
// naming the unit "device_leg".
class device_leg {
  public:
    explicit device_leg(const transform_case& c);
    explicit device_leg(std::int32_t count); // single-precision C2C of `count` samples
    ~device_leg();
    device_leg(const device_leg&) = delete;
    device_leg& operator=(const device_leg&) = delete;

    // Transforms `in` into `out` and times every phase: `in` holds the input buffer's bytes
    // (the whole buffer in place), `out` the output buffer's.
    round_times run(const void* in, void* out);

    // The output, the input read back and the round trip, each copied back to the host.
    device_results results(const byte_buffer& input);

    // `warmups` untimed executions (at least one), then `rounds` rounds of back-to-back
    // executions, as many a round as make it last `least_seconds` by the first execution's time.
    execution_times time_execution(const byte_buffer& input, int warmups, int rounds,
                                   double least_seconds);

  private:
    struct events;
    transform_case case_;
    case_geometry geometry_;
    std::unique_ptr<events> events_;
    std::int32_t make_plan(bool backwards) const;
    void execute(std::int32_t plan, void* in, void* out, bool inverse) const;
};

} // namespace kelvane::verify
