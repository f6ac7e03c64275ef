#include "reference_format.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kelvane::test_support {
namespace {

std::string right_justified(const std::string& text, std::size_t width) {
    return std::string(width - text.size(), ' ') + text;
}

std::string printed(const char* format, int precision, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, precision, value);
    return text;
}

} // namespace

std::string reference_real_field(float value) {
    if (std::isnan(value)) return " NaN           ";
    if (std::isinf(value)) return value < 0 ? " -Infinity     " : " Infinity      ";
    if (value == 0) return "  0.0000000E+00";
    const double exact = value;
    // Nine significant digits "d.dddddddde+XX" give k and the round-up test.
    const std::string nine = printed("%.*e", 8, std::fabs(exact));
    const std::string digits = nine.substr(0, 1) + nine.substr(2, 8);
    const int k = std::atoi(nine.c_str() + 11) + 1;
    const bool rounds_up_at_seven = digits.compare(0, 7, "9999999") == 0 && digits[7] >= '5';
    int decimals = -1;
    if (k < -1 || k > 7)
        decimals = -1;
    else if (rounds_up_at_seven)
        decimals = k < 7 ? 7 - (k + 1) : -1;
    else if (k != -1)
        decimals = 7 - k;
    if (decimals < 0) return right_justified(printed("%.*E", 7, exact), 15);
    std::string fixed = printed("%.*f", decimals, exact);
    if (decimals == 0) fixed += '.';
    return right_justified(fixed, 11) + "    ";
}

std::string reference_seconds_field(float seconds) {
    if (std::isnan(seconds)) return "     NaN";
    if (std::isinf(seconds)) return seconds < 0 ? "    -Inf" : "Infinity";
    std::string text = printed("%.*f", 4, seconds);
    if (text == "-0.0000") text = "0.0000";
    if (text.size() > 8) return "********";
    return right_justified(text, 8);
}

} // namespace kelvane::test_support
