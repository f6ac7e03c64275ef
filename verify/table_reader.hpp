// Reads the comparison table that kelvane writes, strictly: the values as printed, or the
// first line that is not what kelvane writes.
#pragma once

#include "kelvane_complex.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kelvane::verify {

// A whole table of `records` bins. The reference column is kept as printed: record k holds
// four1's bin N - k, the same frequency as the device's bin k.
struct comparison_table {
    std::vector<kelvane_complex> gpu;
    std::vector<kelvane_complex> four1_mirrored;
    float four1_seconds = 0.0f;
    float gpu_seconds = 0.0f;
};

// Why a table cannot be read: its line number (from 1) and what is wrong there.
struct table_error {
    std::size_t line = 0;
    std::string what;
};

// Exactly `records` lines of 72 characters (the bin number 0, 1, ... in 12 columns, then four
// reals in 15 columns each), then the two timing lines of 33 characters with times that are
// neither negative nor NaN ("********", a time too long for its field, reads as infinite), each
// line ended by one line feed, and nothing after them. Bytes of the table quoted in an error
// are printable ASCII, others written as \xNN. Reads on two threads where it can start a
// second, else on one.
std::variant<comparison_table, table_error> parse_table(std::string_view text, std::size_t records);

// The whole of a file, or of standard input for "-", when it can be a table of `records`
// records: a regular file of any other size is refused from its size alone, and a stream is
// read no further than one byte past that size. Empty with `error` set otherwise.
std::string read_table_text(const std::string& path, std::size_t records, std::string& error);

} // namespace kelvane::verify
