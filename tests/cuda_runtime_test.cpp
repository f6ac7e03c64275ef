// The bridge and the program on the real CUDA runtime and cuFFT. Where a GPU is usable, the
// spectrum must be right; where none is, the first page-locked allocation fails and must end
// the run cleanly. With KELVANE_REQUIRE_GPU=1 in the environment, as on a GPU machine, a run
// that finds no device fails instead: a real failure then cannot pass as "no GPU".
#include "child_process.hpp"
#include "shared_values.hpp"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <string_view>

namespace {

bool gpu_required() {
    const char* setting = std::getenv("KELVANE_REQUIRE_GPU");
    return setting != nullptr && std::string_view(setting) == "1";
}

// Without a usable GPU: exit status 255, nothing on standard output, and one line on standard
// error from the first page-locked allocation, with the runtime's own text.
void expect_one_runtime_line(const kelvane::test_support::child_result& result) {
    std::printf("without a usable GPU: %s", result.err.c_str());
    EXPECT_FALSE(gpu_required()) << "KELVANE_REQUIRE_GPU=1, and the run found no usable GPU";
    EXPECT_EQ(result.exit_status, 255);
    EXPECT_EQ(result.out, "");
    const std::string prefix = "c2c_1d(11) : cudaSafeCall() Runtime API error : ";
    EXPECT_EQ(result.err.compare(0, prefix.size(), prefix), 0) << result.err;
    EXPECT_GT(result.err.size(), prefix.size() + 2);
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    EXPECT_TRUE(result.err.ends_with(".\n")) << result.err;
}

TEST(CudaRuntime, BridgeTransformsOrFailsWithOneRuntimeLine) {
    const auto result =
        kelvane::test_support::run_program({KELVANE_CUDA_DEVICE_CALLER, "c2c_1d", "4096"});
    if (result.exit_status != 0) return expect_one_runtime_line(result);
    EXPECT_EQ(result.out, "spectrum ok\n");
    EXPECT_EQ(result.err, "");
}

TEST(CudaRuntime, ProgramRunsOrFailsWithOneRuntimeLine) {
    const auto result = kelvane::test_support::run_program({KELVANE_CUDA_PROGRAM});
    if (result.exit_status != 0) return expect_one_runtime_line(result);
    EXPECT_EQ(result.out.size(), kelvane::test_support::comparison_output_bytes);
    EXPECT_EQ(result.err, "");
}

TEST(CudaRuntime, VerifierPassesOrSaysThereIsNoDevice) {
    // Without a usable GPU: status 3, one line, never a crash and never a verdict.
    const auto result = kelvane::test_support::run_program(
        {KELVANE_CUDA_VERIFY_PROGRAM, "--rounds", "1", "--warmups", "0"});
    if (result.exit_status == 0) {
        EXPECT_NE(result.out.find("verdict: PASS"), std::string::npos);
        return;
    }
    std::printf("without a usable GPU: %s", result.err.c_str());
    EXPECT_FALSE(gpu_required()) << "KELVANE_REQUIRE_GPU=1, and the run found no usable GPU";
    EXPECT_EQ(result.exit_status, 3);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("kelvane-verify: no usable device: ")) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
}

} // namespace
