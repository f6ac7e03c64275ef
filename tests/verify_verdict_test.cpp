// kelvane-verify's verdict: the signal's norms, and the seeded random input's bins, one of which
// is enough to fail a run.
#include "child_process.hpp"
#include "files.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

using kelvane::test_support::read_file;
using kelvane::test_support::run_program;
using kelvane::test_support::scratch_folder;

const std::string verify_program = KELVANE_VERIFY_PROGRAM;

nlohmann::json run_for_json(const std::vector<std::string>& arguments,
                            const std::vector<std::string>& environment, int expected_status) {
    const scratch_folder folder;
    std::vector<std::string> command = {
        verify_program, "--rounds", "1", "--warmups", "0", "--json", folder / "report.json"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const auto result = run_program(command, environment);
    EXPECT_EQ(result.exit_status, expected_status) << result.err << result.out;
    return nlohmann::json::parse(read_file(folder / "report.json"), nullptr, false);
}

TEST(VerifyVerdict, SoundTransformsPassAtEverySizeAndSeed) {
    // four1 and the emulation, on the signal and on random inputs of several seeds.
    for (const char* seed : {"1", "2", "20250101", "18446744073709551615"}) {
        const auto report = run_for_json({"--sizes", "1:16", "--seed", seed}, {}, 0);
        ASSERT_FALSE(report.is_discarded()) << seed;
        for (const auto& size : report["timings"]) {
            const auto& random = size["accuracy"]["random_input"];
            EXPECT_EQ(random["verdict"], "pass") << seed << " at 2^" << size["log2n"];
            EXPECT_LT(random["comparisons"]["gpu_vs_exact"]["largest_bin_error"].get<double>(),
                      random["bin_tolerance"].get<double>() / 4);
            EXPECT_LT(random["comparisons"]["four1_vs_exact"]["largest_bin_error"].get<double>(),
                      random["bin_tolerance"].get<double>() / 4);
        }
    }
}

TEST(VerifyVerdict, OneWrongBinInAQuietPartFails) {
    // At 2^20 the signal's spectrum is about 0.5 in these bins, 742468 at bin 0: the signal's
    // norms cannot see these errors, the random input's bins can.
    struct row {
        const char* perturbation;
        std::size_t bin;
    };
    for (const auto& [perturbation, bin] : {row{"KELVANE_EMU_PERTURB=300000:0.05", 300000},
                                            row{"KELVANE_EMU_PERTURB=500000:0.5", 500000}}) {
        const auto report = run_for_json({}, {perturbation}, 1);
        ASSERT_FALSE(report.is_discarded()) << perturbation;
        EXPECT_EQ(report["verdict"], "fail") << perturbation;
        EXPECT_EQ(report["comparisons"]["gpu_vs_exact"]["rel_l2"].get<double>() <=
                      report["tolerances"]["rel_l2"].get<double>(),
                  true)
            << "the signal alone would pass: " << perturbation;
        EXPECT_EQ(report["random_input"]["comparisons"]["gpu_vs_exact"]["largest_bin_error_bin"],
                  bin);
        ASSERT_FALSE(report["worst_bins"].empty());
        EXPECT_EQ(report["worst_bins"][0]["input"], "random");
        EXPECT_EQ(report["worst_bins"][0]["bin"], bin);
    }
}

TEST(VerifyVerdict, EverySizeOfASweepFailsForOneBinAHundredLevelsOff) {
    // Size 2^k's last bin is off by 100 eps sqrt(k) rms|X|, rms|X| = sqrt(2^k * 2/3) for parts
    // uniform in [-1, 1); a larger size has that bin too, off by less than its own offset.
    constexpr int largest = 16;
    std::string perturbation = "KELVANE_EMU_PERTURB=";
    for (int k = 1; k <= largest; ++k) {
        const double n = std::ldexp(1.0, k);
        const double offset = 100 * 0x1p-24 * std::sqrt(k) * std::sqrt(n * 2 / 3);
        perturbation += (k > 1 ? "," : "") + std::to_string(static_cast<long>(n) - 1) + ":" +
                        std::to_string(offset);
    }
    const auto report =
        run_for_json({"--sizes", "1:" + std::to_string(largest)}, {perturbation}, 1);
    ASSERT_FALSE(report.is_discarded());
    std::vector<bool> listed(largest + 1, false);
    for (const auto& size : report["timings"]) {
        EXPECT_EQ(size["accuracy"]["verdict"], "fail") << "2^" << size["log2n"];
        EXPECT_EQ(size["accuracy"]["random_input"]["comparisons"]["gpu_vs_exact"]
                      ["largest_bin_error_bin"],
                  size["n"].get<std::size_t>() - 1);
    }
    for (const auto& bin : report["worst_bins"])
        if (bin["input"] == "random" && bin["bin"] == bin["n"].get<std::size_t>() - 1)
            listed[static_cast<std::size_t>(std::log2(bin["n"].get<double>()))] = true;
    for (int k = 1; k <= largest; ++k)
        EXPECT_TRUE(listed[static_cast<std::size_t>(k)]) << "the worst bins of 2^" << k;
}

TEST(VerifyVerdict, EachToleranceDecidesItsPart) {
    struct row {
        std::vector<std::string> arguments;
        std::vector<std::string> environment;
        int status;
    };
    const std::vector<row> rows = {
        {{}, {}, 0},
        {{"--tol-l2", "1e-12"}, {}, 1},
        {{"--tol-linf", "1e-12"}, {}, 1},
        {{"--tol-bin", "0.01"}, {}, 1},
        {{}, {"KELVANE_EMU_PERTURB=1234:100"}, 1},
        {{"--tol-l2", "1", "--tol-linf", "1", "--tol-bin", "1e9"},
         {"KELVANE_EMU_PERTURB=1234:100"},
         0},
    };
    for (const row& r : rows) {
        std::vector<std::string> command = {verify_program, "--sizes", "12:12", "--rounds", "1",
                                            "--warmups",    "0"};
        command.insert(command.end(), r.arguments.begin(), r.arguments.end());
        const auto result = run_program(command, r.environment);
        EXPECT_EQ(result.exit_status, r.status)
            << testing::PrintToString(r.arguments) << testing::PrintToString(r.environment);
    }
}

TEST(VerifyVerdict, TheSeedReproducesTheFigures) {
    auto random_figures = [](const char* seed) {
        const auto report = run_for_json({"--sizes", "10:10", "--seed", seed}, {}, 0);
        EXPECT_EQ(report["random_input"]["seed"], std::stoull(seed));
        return report["random_input"]["comparisons"].dump();
    };
    EXPECT_EQ(random_figures("5"), random_figures("5"));
    EXPECT_NE(random_figures("5"), random_figures("6"));
}

} // namespace
