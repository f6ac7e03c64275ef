#include "report.hpp"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

namespace report = kelvane::report;
using items = std::vector<report::item>;

std::string record(const items& values) {
    std::string lines;
    report::format_free_record(values, lines);
    return lines;
}

std::string timing_line(std::string_view label, float seconds) {
    std::string line;
    report::format_timing_line(label, seconds, line);
    return line;
}

struct record_row {
    items values;
    std::string lines;
};

void expect_records(const std::vector<record_row>& rows) {
    for (std::size_t row = 0; row < rows.size(); ++row)
        EXPECT_EQ(record(rows[row].values), rows[row].lines) << "row " << row;
}

TEST(FreeRecord, TheTablesOwnRecords) {
    // The two kinds of record the system writes: a table row and a status message.
    expect_records({
        {{0, 1.0f, -0.5f, 1.0e-7f, 524288.0f},
         "           0   1.000000     -0.5000000      1.0000000E-07   524288.0    \n"},
        {{1048575, 3.1415927f, -123456.7f, 0.0f, 1.0e10f},
         "     1048575   3.141593      -123456.7      0.0000000E+00  1.0000000E+10\n"},
        {{std::string_view("Invalid value for parameter "), 3},
         " Invalid value for parameter            3\n"},
        {{std::string_view("Data error ("), 42, std::string_view(")")},
         " Data error (          42 )\n"},
    });
}

TEST(FreeRecord, TextSeparators) {
    // A text gets one blank at the start of a line or after a number; never between two texts,
    // and a number after a text brings only its own leading blanks.
    expect_records({
        {{std::string_view("a"), std::string_view("b")}, " ab\n"},
        {{7, std::string_view("x")}, "           7 x\n"},
        {{std::string_view("x"), 7}, " x           7\n"},
        {{std::string_view("")}, " \n"},
        {{std::string_view("tab\tand\x01bytes")}, " tab\tand\x01bytes\n"},
    });
}

TEST(FreeRecord, EmptyRecordIsOneBlank) {
    EXPECT_EQ(record({}), " \n");
}

TEST(FreeRecord, NumbersWrapWhole) {
    // A field that does not fit in the 80 columns starts the next line, never split.
    const std::string four_reals =
        "           0   1.000000       1.000000       1.000000       1.000000    ";
    expect_records({
        {{0, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f}, four_reals + "\n   1.000000    \n"},
        {{1, 2, 3, 4, 5, 6, 7},
         "           1           2           3           4           5           6\n"
         "           7\n"},
        {{std::string(70, 'x'), 5}, " " + std::string(70, 'x') + "\n           5\n"},
    });
}

TEST(FreeRecord, LongTextsContinueOnBlankLedLines) {
    // A text runs on over as many lines as it needs, each begun with one blank.
    const std::string hundred(100, 'y');
    const std::string six_numbers =
        "           1           2           3           4           5           6";
    expect_records({
        // Begun on an empty line: 79 bytes there, the rest after a blank.
        {{std::string_view(hundred)},
         " " + hundred.substr(0, 79) + "\n " + hundred.substr(79) + "\n"},
        // Too long for the 8 columns left: the line is written out first.
        {{1, 2, 3, 4, 5, 6, std::string_view("ABCDEFGHIJ")}, six_numbers + "\n ABCDEFGHIJ\n"},
        // Fits only without its separator: as much as fits stays on the line.
        {{1, 2, 3, 4, 5, 6, std::string_view("ABCDEFGH")}, six_numbers + " ABCDEFG\n H\n"},
        // Exactly fills the line after its separator.
        {{1, 2, 3, 4, 5, 6, std::string_view("ABCDEFG")}, six_numbers + " ABCDEFG\n"},
    });
}

TEST(FreeRecord, AppendsToExistingText) {
    // Records are laid out after what the buffer already holds, measured from their own start.
    std::string lines = "previous\n";
    report::format_free_record(items{std::string_view("next")}, lines);
    EXPECT_EQ(lines, "previous\n next\n");
}

TEST(TimingLine, TheRunsOwnLines) {
    EXPECT_EQ(timing_line("Elapsed time of four1: ", 0.1234f),
              "Elapsed time of four1:   0.1234 s\n");
    EXPECT_EQ(timing_line("Elapsed time of four1: ", 1234.5f),
              "Elapsed time of four1: ******** s\n");
    EXPECT_EQ(timing_line("Elapsed time of cufft: ", -0.5f), "Elapsed time of cufft:  -0.5000 s\n");
}

} // namespace
