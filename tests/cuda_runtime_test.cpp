// The bridge on the real CUDA runtime and cuFFT. Where no GPU is usable, the first
// page-locked allocation fails and must end the run cleanly; where one is, the spectrum must
// be right.
#include "child_process.hpp"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(CudaRuntime, TransformsOrFailsWithOneRuntimeLine) {
    const auto result =
        kelvane::testing::run_program({KELVANE_CUDA_DEVICE_CALLER, "c2c_1d", "4096"});
    if (result.exit_status == 0) {
        EXPECT_EQ(result.out, "spectrum ok\n");
        EXPECT_EQ(result.err, "");
        return;
    }
    std::printf("without a usable GPU: %s", result.err.c_str());
    EXPECT_EQ(result.exit_status, 255);
    EXPECT_EQ(result.out, "");
    // One line: the check's prefix, the runtime's own text, a full stop.
    const std::string prefix = "c2c_1d(11) : cudaSafeCall() Runtime API error : ";
    EXPECT_EQ(result.err.compare(0, prefix.size(), prefix), 0) << result.err;
    EXPECT_GT(result.err.size(), prefix.size() + 2);
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    EXPECT_TRUE(result.err.ends_with(".\n")) << result.err;
}

} // namespace
