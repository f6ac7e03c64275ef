// The report layer: the only writer of the system's standard output.
//
// Callers hand over values, never preformatted text; this layer owns widths, notation,
// separators, wrapping and line ends. Every line ends in one line feed and keeps its trailing
// blanks. Output is buffered; every line is on standard output before the process ends, by a
// normal return or by exit(). A failed write ends the process with exit status 74 and the
// line "cannot write standard output: <reason>" on standard error.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace kelvane::report {

// One value of a free-form record: an integer, a single-precision real or a text whose bytes
// are written unchanged.
using item = std::variant<std::int32_t, float, std::string_view>;

inline constexpr int line_limit = 80;

// Lays out the lines of one free-form record at `out`, each ended by '\n', and returns the end.
// `out` must have room for free_record_length_bound(items) bytes. Numbers take fixed-width
// fields (12 columns for an integer, 15 for a real) with no separator of their own; a text gets
// one blank before it at the start of a line or after a number. Lines wrap at 80 columns; an
// empty record is a line of one blank.
char* format_free_record(std::span<const item> items, char* out);
std::size_t free_record_length_bound(std::span<const item> items);

// The same, appended to `lines`.
void format_free_record(std::span<const item> items, std::string& lines);

// Writes one free-form record to standard output.
void write_free_record(std::span<const item> items);
inline void write_free_record(std::initializer_list<item> items) {
    write_free_record(std::span<const item>(items.begin(), items.size()));
}

// Free-form records laid out in a block of their own and handed to standard output a block at
// a time: the same bytes as write_free_record, in far fewer writes. The block goes out when it
// is full, at flush() and when the writer is destroyed; write nothing else to standard output
// while records wait in it. A failed write ends the process as above.
class record_block_writer {
  public:
    record_block_writer();
    ~record_block_writer();
    record_block_writer(const record_block_writer&) = delete;
    record_block_writer& operator=(const record_block_writer&) = delete;

    void write(std::span<const item> items);
    void write(std::initializer_list<item> items) {
        write(std::span<const item>(items.begin(), items.size()));
    }
    void flush();

  private:
    static constexpr std::size_t block_bytes = 1 << 16;
    char* cursor_;
    char block_[block_bytes];
};

// Appends the 33-character timing line and '\n': the label in 23 columns, the seconds with
// four decimals in 8 columns, then " s".
void format_timing_line(std::string_view label, float seconds, std::string& line);

// Writes one timing line to standard output.
void write_timing_line(std::string_view label, float seconds);

// Hands everything written so far to the operating system; ends the process as above when
// that fails.
void flush_output();

// Gives standard output a 1 MiB buffer, so that a long report reaches the operating system in
// few writes. Call it before anything is written to standard output, or not at all.
void enlarge_output_buffer();

} // namespace kelvane::report
