// The layout of kelvane's comparison table, for its writer and for every reader of it.
//
// A record is the bin number in an integer field, then four real fields: the device's bin
// k (real, imaginary), the reference's bin N - k (real, imaginary). After the records come two
// timing lines, the reference leg's first. Every line ends in one line feed.
#pragma once

#include "fields.hpp"

#include <cstddef>
#include <string_view>

namespace kelvane::report {

inline constexpr int reals_per_record = 4;
inline constexpr std::size_t record_length =
    integer_field_width + reals_per_record * real_field_width;
static_assert(record_length == 72);

inline constexpr std::string_view four1_timing_label = "Elapsed time of four1: ";
inline constexpr std::string_view cufft_timing_label = "Elapsed time of cufft: ";
static_assert(four1_timing_label.size() == timing_label_width);
static_assert(cufft_timing_label.size() == timing_label_width);

// What follows the seconds of a timing line, before its line feed.
inline constexpr std::string_view timing_unit = " s";
inline constexpr std::size_t timing_line_length =
    timing_label_width + timing_value_width + timing_unit.size();
static_assert(timing_line_length == 33);

// The bytes of a whole table of `records` records, line feeds included.
constexpr std::size_t table_length(std::size_t records) {
    return records * (record_length + 1) + 2 * (timing_line_length + 1);
}
static_assert(table_length(1 << 20) == 76546116);

} // namespace kelvane::report
