#include "fields.hpp"
#include "float_bits.hpp"
#include "reference_format.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using kelvane::test_support::from_bits;
using kelvane::test_support::reference_real_field;
using kelvane::test_support::reference_seconds_field;
namespace report = kelvane::report;

std::string integer_field(std::int32_t value) {
    std::string field(report::integer_field_width, '?');
    report::put_integer_field(field.data(), value);
    return field;
}

std::string real_field(float value) {
    std::string field(report::real_field_width, '?');
    report::put_real_field(field.data(), value);
    return field;
}

std::string seconds_field(float seconds) {
    std::string field(report::timing_value_width, '?');
    report::put_seconds_field(field.data(), seconds);
    return field;
}

std::string label_field(std::string_view label) {
    std::string field(report::timing_label_width, '?');
    report::put_timing_label_field(field.data(), label);
    return field;
}

struct real_row {
    std::uint32_t bits;
    const char* field;
};

// Each row is checked twice: against the exact text, and against the second formatter, so that
// a wrong expectation in a row cannot pass unnoticed either.
void expect_real_rows(const std::vector<real_row>& rows) {
    for (const auto& row : rows) {
        const float value = from_bits(row.bits);
        SCOPED_TRACE(testing::Message() << "bits 0x" << std::hex << row.bits);
        EXPECT_EQ(real_field(value), row.field);
        EXPECT_EQ(reference_real_field(value), row.field);
    }
}

TEST(IntegerField, RightJustifiedInTwelveColumns) {
    // The widest value still leaves one blank, so adjacent numbers never touch.
    const std::vector<std::pair<std::int32_t, const char*>> rows = {
        {0, "           0"},       {7, "           7"},          {-1, "          -1"},
        {1048575, "     1048575"}, {2147483647, "  2147483647"}, {-2147483647 - 1, " -2147483648"},
    };
    for (const auto& [value, field] : rows)
        EXPECT_EQ(integer_field(value), field) << value;
}

TEST(RealField, TheTablesOwnValues) {
    // The values of two of the table's own records, field by field.
    expect_real_rows({
        {0x3f800000, "   1.000000    "}, // 1.0
        {0xbf000000, " -0.5000000    "}, // -0.5
        {0x33d6bf95, "  1.0000000E-07"}, // 1.0E-7
        {0x49000000, "   524288.0    "}, // 524288.0
        {0x40490fdb, "   3.141593    "}, // 3.1415927
        {0xc7f1205a, "  -123456.7    "}, // -123456.7
        {0x501502f9, "  1.0000000E+10"}, // 1.0E+10
        {0x47800000, "   65536.00    "}, // 65536.0
        {0x4b18967f, "   9999999.    "}, // 9999999.0
        {0x4996b438, "   1234567.    "}, // 1234567.0
    });
}

TEST(RealField, FormBoundariesAtPowersOfTen) {
    // The fixed form covers [0.1, 1e7) after rounding; one ulp either side of each end changes
    // the form, and inside the range each power of ten moves the decimal point.
    expect_real_rows({
        {0x3c23d70a, "  9.9999998E-03"}, // 0.01 as stored, below 0.01
        {0x3c23d70b, "  1.0000001E-02"}, // least float above 0.01
        {0x3dcccccc, "  9.9999994E-02"}, // largest float below 0.1
        {0x3dcccccd, "  0.1000000    "}, // 0.1 as stored, above 0.1
        {0x3f7fffff, "  0.9999999    "}, // 1 - 2^-24
        {0x3f800001, "   1.000000    "}, // 1 + 2^-23
        {0x411fffff, "   9.999999    "},
        {0x41200000, "   10.00000    "},
        {0x42c80000, "   100.0000    "},
        {0x447a0000, "   1000.000    "},
        {0x461c4000, "   10000.00    "},
        {0x47c35000, "   100000.0    "},
        {0x49742400, "   1000000.    "},
        {0x497423ff, "   999999.9    "}, // 999999.94: a decimal stays
        {0x4b189680, "  1.0000000E+07"}, // 1e7
        {0x4b189681, "  1.0000001E+07"},
        {0x4cbebc1f, "  9.9999992E+07"},
        {0x4cbebc20, "  1.0000000E+08"},
    });
}

TEST(RealField, RoundingUpToAPowerOfTen) {
    // Eight significant digits that round up to ten carry into the exponent.
    expect_real_rows({
        {0x2b8cbccc, "  1.0000000E-12"}, // 9.99999996e-13
        {0x358637bd, "  1.0000000E-06"}, // 9.99999997e-7
        {0x5368d4a5, "  1.0000000E+12"}, // 9.99999996e+11
        {0x5f0ac723, "  1.0000000E+19"}, // 9.99999998e+18
        {0x3727c5ac, "  9.9999997E-06"}, // nine digits 9.99999975: no carry at eight
    });
}

TEST(RealField, ExactTiesGoToEven) {
    // Exact halfway values round to the even neighbour, not away from zero.
    expect_real_rows({
        {0x47800010, "   65536.12    "}, // 65536.125
        {0x47800030, "   65536.38    "}, // 65536.375
        {0x49800004, "   1048576.    "}, // 1048576.5
        {0x4980000c, "   1048578.    "}, // 1048577.5
        {0x3c300000, "  1.0742188E-02"}, // 0.0107421875
        {0x3c500000, "  1.2695312E-02"}, // 0.0126953125
        {0x39800000, "  2.4414062E-04"}, // 2^-12 = 0.000244140625
    });
}

TEST(RealField, ZerosNaNsAndInfinities) {
    // Negative zero loses its sign; NaN and the infinities stand at the field's left.
    expect_real_rows({
        {0x00000000, "  0.0000000E+00"},
        {0x80000000, "  0.0000000E+00"},
        {0x7fc00000, " NaN           "},
        {0xffc00001, " NaN           "},
        {0x7f800001, " NaN           "},
        {0x7f800000, " Infinity      "},
        {0xff800000, " -Infinity     "},
    });
}

TEST(RealField, ExtremesAndSubnormals) {
    // Subnormals are written with their exact value, whatever the floating-point mode.
    expect_real_rows({
        {0x7f7fffff, "  3.4028235E+38"},
        {0xff7fffff, " -3.4028235E+38"},
        {0x00800000, "  1.1754944E-38"},
        {0x007fffff, "  1.1754942E-38"},
        {0x00000001, "  1.4012985E-45"},
        {0x80000001, " -1.4012985E-45"},
        {0x8da24260, " -1.0000000E-30"}, // -1.0E-30
    });
}

TEST(SecondsField, TheRunsOwnTimesAndLimits) {
    // Four decimals in eight columns; asterisks once the text would need nine.
    const std::vector<std::pair<float, const char*>> rows = {
        {0.1234f, "  0.1234"},   {1234.5f, "********"},
        {0.0f, "  0.0000"},      {-0.0f, "  0.0000"},
        {12.3456f, " 12.3456"},  {-0.5f, " -0.5000"},
        {-99.99f, "-99.9900"},   {999.99994f, "999.9999"},
        {1000.0f, "********"},   {9999.0f, "********"},
        {-99.9999f, "-99.9999"}, {-100.0f, "********"},
        {0.00004f, "  0.0000"},  {-0.00004f, "  0.0000"},
        {0.03125f, "  0.0312"},  {0.09375f, "  0.0938"},
        {1e30f, "********"},     {-1e30f, "********"},
        {1e-30f, "  0.0000"},    {0.00015f, "  0.0002"},
        {16383.0f, "********"},  {from_bits(0x00000001), "  0.0000"},
    };
    for (const auto& [seconds, field] : rows) {
        EXPECT_EQ(seconds_field(seconds), field) << seconds;
        EXPECT_EQ(reference_seconds_field(seconds), field) << seconds;
    }
}

TEST(SecondsField, NaNAndInfinities) {
    // "-Infinity" would need nine columns.
    EXPECT_EQ(seconds_field(from_bits(0x7fc00000)), "     NaN");
    EXPECT_EQ(seconds_field(from_bits(0x7f800000)), "Infinity");
    EXPECT_EQ(seconds_field(from_bits(0xff800000)), "    -Inf");
}

TEST(TimingLabelField, JustifiedOrCut) {
    EXPECT_EQ(label_field("Elapsed time of four1: "), "Elapsed time of four1: ");
    EXPECT_EQ(label_field("short"), "                  short");
    EXPECT_EQ(label_field(""), std::string(23, ' '));
    EXPECT_EQ(label_field("Elapsed time of the whole comparison: "), "Elapsed time of the who");
}

} // namespace
