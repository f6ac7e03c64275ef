// The comparison run, end to end on the emulated device, and its steps one by one.
#include "child_process.hpp"
#include "comparison_run.hpp"
#include "fields.hpp"
#include "float_bits.hpp"
#include "floating_point_mode.hpp"
#include "ostrel.h"
#include "reference_transforms.hpp"
#include "report.hpp"
#include "shared_values.hpp"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace driver = kelvane::driver;
using kelvane::test_support::to_bits;

constexpr std::int32_t n = driver::sample_count;
constexpr std::size_t table_line_length = 72;
constexpr std::size_t timing_line_length = 33;

// The spectra the run must print, computed here from an independently made signal in the
// run's floating-point mode: the reference by the second loop nest of four1, the GPU
// column by the emulated device the program links.
struct expected_spectra {
    std::vector<float> reference;
    std::vector<kelvane_complex> gpu;
};

const expected_spectra& spectra() {
    static const expected_spectra computed = [] {
        const kelvane::test_support::flush_to_zero_scope flush_to_zero;
        expected_spectra result;
        const std::vector<float> signal = kelvane::test_support::comparison_signal(n);
        result.reference = signal;
        kelvane::test_support::four1_second_loop_nest(result.reference.data(), n, 1);
        std::vector<kelvane_complex> input(static_cast<std::size_t>(n));
        std::memcpy(input.data(), signal.data(), signal.size() * sizeof(float));
        result.gpu.resize(static_cast<std::size_t>(n));
        fft_1d_c2c_(&n, input.data(), result.gpu.data());
        return result;
    }();
    return computed;
}

std::string reference_columns(std::size_t bin) {
    std::string columns(2 * kelvane::report::real_field_width, ' ');
    const auto& reference = spectra().reference;
    kelvane::report::put_real_field(
        kelvane::report::put_real_field(columns.data(), reference[2 * bin]),
        reference[2 * bin + 1]);
    return columns;
}

struct program_run {
    kelvane::test_support::child_result result;
    std::vector<std::string_view> lines;
};

const program_run& plain_run() {
    static const program_run run = [] {
        program_run r{kelvane::test_support::run_program({KELVANE_PROGRAM}), {}};
        std::string_view rest = r.result.out;
        while (!rest.empty()) {
            const std::size_t end = rest.find('\n');
            if (end == std::string_view::npos) break;
            r.lines.push_back(rest.substr(0, end));
            rest.remove_prefix(end + 1);
        }
        return r;
    }();
    return run;
}

TEST(ComparisonRun, EndsCleanlyWithTheExactOutputSize) {
    // 1048576 lines of 72 characters and 2 of 33, each with one line feed.
    const auto& run = plain_run();
    EXPECT_EQ(run.result.exit_status, 0);
    EXPECT_EQ(run.result.err, "");
    EXPECT_EQ(run.result.out.size(), kelvane::test_support::comparison_output_bytes);
    ASSERT_EQ(run.lines.size(), static_cast<std::size_t>(n) + 2);
    std::size_t wrong_length = 0;
    for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k)
        wrong_length += run.lines[k].size() != table_line_length ? 1U : 0U;
    EXPECT_EQ(wrong_length, 0U);
}

TEST(ComparisonRun, TableIsTheExpectedSpectraRecordForRecord) {
    // Every record as the report layer lays out (k, GPU bin k, reference bin N - k).
    const auto& run = plain_run();
    ASSERT_GE(run.lines.size(), static_cast<std::size_t>(n));
    const auto& expected = spectra();
    std::size_t mismatches = 0;
    std::string line;
    for (std::int32_t k = 0; k < n; ++k) {
        const auto bin = static_cast<std::size_t>(k);
        const std::size_t mirrored = k == 0 ? 0 : static_cast<std::size_t>(n - k);
        line.clear();
        kelvane::report::format_free_record(
            std::vector<kelvane::report::item>{k, expected.gpu[bin].re, expected.gpu[bin].im,
                                               expected.reference[2 * mirrored],
                                               expected.reference[2 * mirrored + 1]},
            line);
        line.pop_back();
        if (run.lines[bin] != line && ++mismatches <= 3)
            ADD_FAILURE() << "record " << k << ":\n  \"" << run.lines[bin] << "\"\n  \"" << line
                          << "\"";
    }
    EXPECT_EQ(mismatches, 0U);
}

TEST(ComparisonRun, ReferenceColumnsPairBinKWithBinNMinusK) {
    // Record 0 pairs bin 0 with bin 0; every other record k with reference bin N - k.
    const auto& run = plain_run();
    ASSERT_GE(run.lines.size(), static_cast<std::size_t>(n));
    const std::pair<std::size_t, std::size_t> rows[] = {{0, 0}, {1, 1048575}, {1048575, 1}};
    for (const auto& [record, bin] : rows)
        EXPECT_EQ(run.lines[record].substr(42), reference_columns(bin)) << "record " << record;
    EXPECT_EQ(run.lines[1048575].substr(0, 12), "     1048575");
}

TEST(ComparisonRun, PrintedGpuColumnIsTheExactSpectrumToItsDigits) {
    // The GPU column as printed, read back, against a long-double transform of an independently
    // made signal: the printed digits and single precision are all that part them.
    const auto& run = plain_run();
    ASSERT_GE(run.lines.size(), static_cast<std::size_t>(n));
    std::vector<float> printed(2 * static_cast<std::size_t>(n));
    for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k)
        for (std::size_t part = 0; part < 2; ++part) {
            const std::string field(run.lines[k].substr(12 + 15 * part, 15));
            printed[2 * k + part] = std::strtof(field.c_str(), nullptr);
        }
    const kelvane::test_support::flush_to_zero_scope flush_to_zero;
    const auto exact =
        kelvane::test_support::long_double_dft(kelvane::test_support::comparison_signal(n), -1);
    const double error = kelvane::test_support::rms_relative_error(printed, exact);
    std::printf("rms relative error of the printed GPU column: %.3g\n", error);
    EXPECT_LT(error, 1e-7);
}

TEST(ComparisonRun, TimingLinesCountTicks) {
    // The label, 8 columns of non-negative seconds with four decimals, " s".
    const auto& run = plain_run();
    ASSERT_EQ(run.lines.size(), static_cast<std::size_t>(n) + 2);
    const std::string_view labels[] = {"Elapsed time of four1: ", "Elapsed time of cufft: "};
    for (std::size_t i = 0; i < 2; ++i) {
        const std::string_view line = run.lines[static_cast<std::size_t>(n) + i];
        ASSERT_EQ(line.size(), timing_line_length);
        EXPECT_EQ(line.substr(0, 23), labels[i]);
        EXPECT_EQ(line.substr(31), " s");
        const std::string_view value = line.substr(23, 8);
        const std::size_t first = value.find_first_not_of(' ');
        ASSERT_NE(first, std::string_view::npos) << line;
        const std::string_view digits = value.substr(first);
        ASSERT_GE(digits.size(), 6U) << line;
        EXPECT_EQ(digits[digits.size() - 5], '.') << line;
        EXPECT_EQ(digits.find_first_not_of("0123456789."), std::string_view::npos) << line;
    }
}

TEST(ComparisonRunFailures, DeviceFailureLeavesStandardOutputEmpty) {
    // The table is written only after both legs, so a fatal check leaves nothing behind.
    const auto result = kelvane::test_support::run_program({KELVANE_PROGRAM},
                                                           {"KELVANE_EMU_FAIL=cufftExecC2C:1:6"});
    EXPECT_EQ(result.exit_status, 255);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "ostrel(21) : cufftSafeCall() CUFFT error.\n");
}

TEST(ComparisonRunFailures, FullDeviceIsAnError) {
    const auto result = kelvane::test_support::run_program({KELVANE_PROGRAM}, {}, "/dev/full");
    EXPECT_EQ(result.exit_status, 74);
    EXPECT_EQ(result.err, "cannot write standard output: No space left on device\n");
}

TEST(ComparisonRunSteps, SignalStartsAtZeroAndOne) {
    // Sample 0 is (sin 0, cos 0); every sample matches the independent computation.
    std::vector<kelvane_complex> samples(static_cast<std::size_t>(n));
    std::vector<float> independent;
    {
        const kelvane::test_support::flush_to_zero_scope flush_to_zero;
        driver::fill_signal(samples.data(), n);
        independent = kelvane::test_support::comparison_signal(n);
    }
    EXPECT_EQ(to_bits(samples[0].re), 0U);
    EXPECT_EQ(to_bits(samples[0].im), 0x3f800000U);
    EXPECT_EQ(std::memcmp(samples.data(), independent.data(), independent.size() * sizeof(float)),
              0);
}

TEST(ComparisonRunSteps, ElapsedTimeSurvivesAClockWrap) {
    // A reading after the wrap is smaller than the one before: one period is added back.
    struct row {
        std::int32_t start;
        std::int32_t end;
        float seconds;
    };
    const row rows[] = {
        {0, 0, 0.0f},
        {100, 1334, 0.1234f},
        {driver::tick_wrap_period - 1000, 1000, 0.2f},
        {driver::tick_wrap_period - 1, 0, 0.0001f},
        {0, driver::tick_wrap_period - 1, 214747.9999f},
    };
    for (const auto& [start, end, seconds] : rows)
        EXPECT_EQ(driver::elapsed_seconds(start, end), seconds) << start << " -> " << end;
}

TEST(ComparisonRunSteps, TickClockStaysWithinItsPeriod) {
    const std::int32_t reading = driver::read_tick_clock();
    EXPECT_GE(reading, 0);
    EXPECT_LT(reading, driver::tick_wrap_period);
}

} // namespace
