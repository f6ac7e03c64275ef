// Fixed-width fields of the report layer.
//
// Each function writes exactly its field's width of bytes at `out` (no terminator) and returns
// the position after it. Every value has a field: nothing is rejected. All decisions are made on
// the bit pattern, so the results do not depend on the process's floating-point mode
// (flush-to-zero and denormals-are-zero leave them unchanged).
#pragma once

#include <cstdint>
#include <string_view>

namespace kelvane::report {

inline constexpr int integer_field_width = 12;
inline constexpr int real_field_width = 15;
inline constexpr int timing_label_width = 23;
inline constexpr int timing_value_width = 8;

// Decimal digits, right-justified, blank-filled; "-" before a negative value.
char* put_integer_field(char* out, std::int32_t value);

// Seven significant digits in fixed form for values that round to [0.1, 1e7), right-justified
// in 11 columns plus 4 blanks; otherwise 8 significant digits in exponent form, right-justified
// in 15 columns. Zero is "0.0000000E+00"; NaN and the infinities stand at the field's left.
// Rounding is to nearest of the exact binary value, ties to even.
char* put_real_field(char* out, float value);

// A label in 23 columns: right-justified when shorter, cut when longer.
char* put_timing_label_field(char* out, std::string_view label);

// Seconds with 4 decimals, right-justified in 8 columns; overflowed_seconds when the text needs
// more.
inline constexpr std::string_view overflowed_seconds = "********";
static_assert(overflowed_seconds.size() == timing_value_width);
char* put_seconds_field(char* out, float seconds);

} // namespace kelvane::report
