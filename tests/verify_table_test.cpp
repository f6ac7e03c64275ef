// Reading kelvane's table back: every value as printed, and every way a table can be broken
// named by its line.
#include "report.hpp"
#include "table_reader.hpp"

#include <gtest/gtest.h>
#include <string>
#include <variant>

namespace {

using kelvane::verify::comparison_table;
using kelvane::verify::parse_table;
using kelvane::verify::table_error;

constexpr std::size_t records = 3;

// Exactly what kelvane writes for three bins, through the report layer itself.
std::string three_bin_table() {
    std::string text;
    const float values[records][4] = {{1.5f, -2.25f, 1.5f, -2.25f},
                                      {1024.0f, 0.125f, 1024.0f, 0.0f},
                                      {3.0e-12f, -0.0f, 7.0f, 1.0e7f}};
    for (std::int32_t k = 0; k < static_cast<std::int32_t>(records); ++k) {
        const auto& v = values[k];
        kelvane::report::format_free_record(
            std::vector<kelvane::report::item>{k, v[0], v[1], v[2], v[3]}, text);
    }
    kelvane::report::format_timing_line("Elapsed time of four1: ", 0.0131f, text);
    kelvane::report::format_timing_line("Elapsed time of cufft: ", 0.1434f, text);
    return text;
}

std::size_t line_start(const std::string& text, std::size_t line) {
    std::size_t at = 0;
    for (std::size_t l = 1; l < line; ++l)
        at = text.find('\n', at) + 1;
    return at;
}

TEST(TableReader, ReadsEveryValueAsPrinted) {
    const auto parsed = parse_table(three_bin_table(), records);
    ASSERT_TRUE(std::holds_alternative<comparison_table>(parsed))
        << std::get<table_error>(parsed).what;
    const auto& table = std::get<comparison_table>(parsed);
    EXPECT_EQ(table.gpu[0].re, 1.5f);
    EXPECT_EQ(table.gpu[0].im, -2.25f);
    EXPECT_EQ(table.gpu[1].re, 1024.0f);
    EXPECT_EQ(table.gpu[2].re, 3.0e-12f);
    EXPECT_EQ(table.four1_mirrored[2].im, 1.0e7f);
    EXPECT_EQ(table.four1_mirrored[1].im, 0.0f);
    EXPECT_EQ(table.four1_seconds, 0.0131f);
    EXPECT_EQ(table.gpu_seconds, 0.1434f);
}

TEST(TableReader, EveryBrokenTableNamesItsLine) {
    // A table that is not exactly what kelvane writes never gets a verdict.
    const std::string good = three_bin_table();
    struct row {
        const char* why;
        std::string text;
        std::size_t line;
        const char* what;
    };
    std::string long_line = good;
    long_line.insert(line_start(good, 2) + 5, " ");
    std::string bad_number = good;
    bad_number[line_start(good, 1) + 12 + 15 + 8] = 'x';
    std::string out_of_order = good;
    out_of_order.replace(line_start(good, 2), 73, good.substr(line_start(good, 3), 73));
    std::string wrong_label = good;
    wrong_label.replace(line_start(good, 5), 23, "Elapsed time of cuFFT: ");
    const row rows[] = {
        {"empty", "", 1, "the table ends before record 0"},
        {"truncated between records", good.substr(0, line_start(good, 3)), 3,
         "the table ends before record 2"},
        {"truncated inside a record", good.substr(0, line_start(good, 3) + 40), 3,
         "no line feed after record 2"},
        {"a long line", long_line, 2, "a record of 73 characters, not 72"},
        {"a bad number", bad_number, 1, "field 3, "},
        {"an index out of order", out_of_order, 2, "bin number \"           2\" where 1 belongs"},
        {"no timing lines", good.substr(0, line_start(good, 4)), 4,
         "the timing line \"Elapsed time of four1: ...\" is missing"},
        {"one timing line", good.substr(0, line_start(good, 5)), 5,
         "the timing line \"Elapsed time of cufft: ...\" is missing"},
        {"a wrong label", wrong_label, 5, "not the timing line \"Elapsed time of cufft: "},
        {"an extra line", good + "extra\n", 6, "more after the two timing lines"},
    };
    for (const auto& [why, text, line, what] : rows) {
        const auto parsed = parse_table(text, records);
        ASSERT_TRUE(std::holds_alternative<table_error>(parsed)) << why;
        const auto& error = std::get<table_error>(parsed);
        EXPECT_EQ(error.line, line) << why;
        EXPECT_NE(error.what.find(what), std::string::npos) << why << ": " << error.what;
    }
}

} // namespace
