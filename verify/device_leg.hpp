// The device leg of the comparison run taken apart: each phase timed on its own, and what the
// device says of itself. Built once per device variant, like c2c_1d.
#pragma once

#include "kelvane_complex.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

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

// The leg as c2c_1d and fft_1d_c2c make it, for `count` samples: page-locked buffers, the
// staging copies, device buffers, both transfers, the plan, the execution and the releases.
// Execution is timed on the device's own clock (events), every other phase on the host's
// monotonic clock, each after the synchronisation it needs. A round allocates nothing beyond
// what the leg itself does. A failing call ends the process with the bridge's line, naming
// the unit "device_leg".
class device_leg {
  public:
    explicit device_leg(std::int32_t count);
    ~device_leg();
    device_leg(const device_leg&) = delete;
    device_leg& operator=(const device_leg&) = delete;

    // Transforms `in` into `out` (count samples each) and times every phase.
    round_times run(const kelvane_complex* in, kelvane_complex* out);

  private:
    struct events;
    std::int32_t count_;
    std::unique_ptr<events> events_;
};

} // namespace kelvane::verify
