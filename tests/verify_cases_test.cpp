// kelvane-verify on transform cases: each type, rank, batch, layout and placement passes as it
// is and fails, naming the element, with one output element wrong; a changed input fails where
// cuFFT must keep it; an input file is the device's input, byte for byte.
#include "child_process.hpp"
#include "files.hpp"

#include <cmath>
#include <complex>
#include <cstdio>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

using kelvane::test_support::read_file;
using kelvane::test_support::run_program;
using kelvane::test_support::scratch_folder;

const std::string verify_program = KELVANE_VERIFY_PROGRAM;

struct case_report {
    int status;
    nlohmann::json json;
    std::string err;
};

case_report run_case(const std::vector<std::string>& arguments,
                     const std::vector<std::string>& environment = {}) {
    const scratch_folder folder;
    std::vector<std::string> command = {
        verify_program, "--rounds", "1", "--warmups", "0", "--json", folder / "report.json"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const auto result = run_program(command, environment);
    return {result.exit_status,
            nlohmann::json::parse(read_file(folder / "report.json"), nullptr, false), result.err};
}

TEST(VerifyCases, EachCaseFailsAtItsPerturbedElement) {
    // `element` is the flat index into the output buffer, in elements of the output's type;
    // `member` and `index` are where it lies in the transform (row-major within the member).
    struct row {
        std::vector<std::string> arguments;
        std::size_t element;
        std::size_t member;
        std::size_t index;
    };
    const std::vector<row> rows = {
        {{"--type", "c2c", "--shape", "1000"}, 123, 0, 123},
        {{"--type", "z2z", "--shape", "97", "--inverse"}, 50, 0, 50},
        {{"--type", "r2c", "--shape", "64x48"}, 10 * 25 + 7, 0, 257},
        {{"--type", "c2r", "--shape", "19x17x14"}, 1000, 0, 1000},
        {{"--type", "c2c", "--shape", "8x6x5", "--in-place"}, 100, 0, 100},
        {{"--type", "d2z", "--shape", "30", "--batch", "2", "--in-place"}, 16 + 5, 1, 5},
        {{"--type", "z2d", "--shape", "40", "--batch", "3"}, 2 * 40 + 5, 2, 5},
        {{"--type", "z2z", "--shape", "100", "--batch", "3", "--stride", "2", "--dist", "250"},
         2 * 250 + 7 * 2,
         2,
         7},
        {{"--type", "r2c", "--shape", "64", "--batch", "2", "--stride", "3", "--dist", "200",
          "--ostride", "1", "--odist", "40"},
         40 + 9,
         1,
         9},
        {{"--type", "c2c", "--shape", "12x10", "--batch", "5", "--in-place"}, 3 * 120 + 61, 3, 61},
    };
    for (const row& r : rows) {
        const std::string name = r.arguments[1] + " " + r.arguments[3];
        const case_report sound = run_case(r.arguments);
        ASSERT_EQ(sound.status, 0) << name << sound.err;
        EXPECT_EQ(sound.json["cases"][0]["verdict"], "pass") << name;
        const case_report wrong =
            run_case(r.arguments, {"KELVANE_EMU_PERTURB=" + std::to_string(r.element) + ":0.5"});
        ASSERT_EQ(wrong.status, 1) << name << wrong.err;
        const auto& checked = wrong.json["cases"][0];
        EXPECT_EQ(checked["verdict"], "fail") << name;
        ASSERT_FALSE(checked["worst_bins"].empty()) << name;
        EXPECT_EQ(checked["worst_bins"][0]["member"], r.member) << name;
        EXPECT_EQ(checked["worst_bins"][0]["index"], r.index) << name;
        EXPECT_EQ(checked["comparisons"]["gpu_vs_exact"]["largest_error_member"], r.member) << name;
        EXPECT_EQ(checked["comparisons"]["gpu_vs_exact"]["largest_error_index"], r.index) << name;
    }
}

TEST(VerifyCases, AChangedInputFailsWhereCuFFTMustKeepIt) {
    struct row {
        std::vector<std::string> arguments;
        int status;
        nlohmann::json preserved;
    };
    const std::vector<row> rows = {
        {{"--type", "c2c", "--shape", "256"}, 1, false},
        {{"--type", "d2z", "--shape", "16x16"}, 1, false},
        // cuFFT may overwrite a C2R or Z2D input: a note, not a failure.
        {{"--type", "c2r", "--shape", "256"}, 0, false},
        {{"--type", "z2d", "--shape", "16x16"}, 0, false},
        // In place the input is the output.
        {{"--type", "c2c", "--shape", "256", "--in-place"}, 0, nullptr},
    };
    for (const row& r : rows) {
        const case_report report = run_case(r.arguments, {"KELVANE_EMU_PERTURB_INPUT=3:0.25"});
        EXPECT_EQ(report.status, r.status) << r.arguments[1] << report.err;
        EXPECT_EQ(report.json["cases"][0]["input_preserved"], r.preserved) << r.arguments[1];
    }
    // Unchanged, it is kept.
    EXPECT_EQ(run_case({"--type", "c2c", "--shape", "256"}).json["cases"][0]["input_preserved"],
              true);
}

TEST(VerifyCases, AnInputFileIsTheDevicesInputExactly) {
    const scratch_folder folder;
    // One impulse at sample 3 of 16: the exact output is exp(-2 pi i 3k / 16).
    std::vector<float> parts(32, 0.0f);
    parts[6] = 1.0f;
    const std::string input = folder / "impulse.bin";
    {
        std::FILE* file = std::fopen(input.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(parts.data(), sizeof(float), parts.size(), file);
        std::fclose(file);
    }
    const case_report sound = run_case({"--shape", "16", "--input", input});
    ASSERT_EQ(sound.status, 0) << sound.err;
    EXPECT_EQ(sound.json["cases"][0]["input"], input);
    // A wrong element shows the exact value the file gives there.
    const case_report wrong =
        run_case({"--shape", "16", "--input", input}, {"KELVANE_EMU_PERTURB=5:1"});
    ASSERT_EQ(wrong.status, 1) << wrong.err;
    const auto& worst = wrong.json["cases"][0]["worst_bins"][0];
    EXPECT_EQ(worst["index"], 5);
    const std::complex<double> expected = std::polar(1.0, -2 * M_PI * 3 * 5 / 16);
    EXPECT_NEAR(worst["exact"][0].get<double>(), expected.real(), 1e-15);
    EXPECT_NEAR(worst["exact"][1].get<double>(), expected.imag(), 1e-15);

    // A file of any other size is refused before any work.
    for (const std::size_t floats : {std::size_t{31}, std::size_t{33}, std::size_t{0}}) {
        const std::string other = folder / ("other" + std::to_string(floats) + ".bin");
        std::FILE* file = std::fopen(other.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        const std::vector<float> zeros(floats);
        if (floats > 0) std::fwrite(zeros.data(), sizeof(float), floats, file);
        std::fclose(file);
        const auto result = run_program({verify_program, "--shape", "16", "--input", other});
        EXPECT_EQ(result.exit_status, 2) << floats;
        EXPECT_NE(result.err.find("the case's input is 128 bytes"), std::string::npos)
            << result.err;
    }
}

TEST(VerifyCases, TheDefaultCaseKeepsTodaysReportAndAddsItsCase) {
    const case_report report = run_case({});
    ASSERT_EQ(report.status, 0) << report.err;
    for (const char* key : {"verdict", "mode", "samples", "comparisons", "expected_level",
                            "tolerances", "random_input", "worst_bins", "provenance", "timings"})
        EXPECT_TRUE(report.json.contains(key)) << key;
    ASSERT_EQ(report.json["cases"].size(), 1U);
    const auto& only = report.json["cases"][0];
    EXPECT_EQ(only["type"], "c2c");
    EXPECT_EQ(only["shape"], nlohmann::json::array({1048576}));
    EXPECT_EQ(only["input"], "signal");
    for (const char* side : {"gpu_vs_exact", "fftw_vs_exact", "four1_vs_exact"})
        EXPECT_LT(only["comparisons"][side]["rel_l2_over_level"].get<double>(), 1.0) << side;
}

} // namespace
