// The timed device leg on the emulated device: it computes what c2c_1d computes, times every
// phase, and its phases fit within the round they belong to.
#include "c2c_1d.h"
#include "device_leg.hpp"
#include "kelvane_emu.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

TEST(DeviceLeg, PhasesFitWithinTheRoundAndTheSpectrumIsTheBridges) {
    constexpr std::int32_t n = 1 << 12;
    std::vector<kelvane_complex> signal(n);
    for (std::int32_t i = 0; i < n; ++i)
        signal[static_cast<std::size_t>(i)] = {static_cast<float>(i % 7),
                                               static_cast<float>(i % 3)};
    std::vector<kelvane_complex> bridge(n);
    c2c_1d_(&n, signal.data(), bridge.data());

    kelvane::verify::device_leg leg(n);
    const kelvane_emu_census before = kelvane_emu_take_census();
    for (int round = 0; round < 3; ++round) {
        std::vector<kelvane_complex> out(n);
        const auto times = leg.run(signal.data(), out.data());
        double sum = 0.0;
        for (std::size_t p = 0; p < times.seconds.size(); ++p) {
            EXPECT_GE(times.seconds[p], 0.0) << kelvane::verify::phase_names[p];
            sum += times.seconds[p];
        }
        EXPECT_GT(times.seconds[static_cast<std::size_t>(kelvane::verify::phase::execution)], 0.0);
        EXPECT_LE(sum, times.wall_seconds) << "round " << round;
        EXPECT_EQ(std::memcmp(out.data(), bridge.data(), n * sizeof(kelvane_complex)), 0);
    }
    // Each round makes and releases exactly what the bridge does, and holds nothing after.
    const kelvane_emu_census after = kelvane_emu_take_census();
    EXPECT_EQ(after.calls_cudaMallocHost - before.calls_cudaMallocHost, 6U);
    EXPECT_EQ(after.calls_cudaMalloc - before.calls_cudaMalloc, 6U);
    EXPECT_EQ(after.calls_cufftPlan1d - before.calls_cufftPlan1d, 3U);
    EXPECT_EQ(after.device_buffers, 0U);
    EXPECT_EQ(after.pinned_buffers, 0U);
    EXPECT_EQ(after.plans, 0U);
}

TEST(DeviceLeg, TheEmulationDescribesItselfAsSuch) {
    double context_seconds = -1.0;
    std::string error;
    const auto description = kelvane::verify::describe_device(context_seconds, error);
    ASSERT_TRUE(description) << error;
    EXPECT_TRUE(description->emulated);
    EXPECT_EQ(description->name, "kelvane host emulation");
    EXPECT_GE(context_seconds, 0.0);
}

} // namespace
