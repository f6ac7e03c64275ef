#include "fields.hpp"
#include "report.hpp"
#include "standard_output.hpp"
#include "table_format.hpp"

#include <algorithm>
#include <cstring>

namespace kelvane::report {
namespace {

// The state of one free-form record while its lines are laid out in memory with room for
// free_record_length_bound bytes.
class record_layout {
  public:
    explicit record_layout(char* out) : line_begin_(out), cursor_(out) {}

    void put(std::int32_t value) {
        make_room(integer_field_width);
        cursor_ = put_integer_field(cursor_, value);
        previous_ = kind::numeric;
    }

    void put(float value) {
        make_room(real_field_width);
        cursor_ = put_real_field(cursor_, value);
        previous_ = kind::numeric;
    }

    void put(std::string_view text) {
        const std::size_t room = space_left();
        const bool line_start = cursor_ == line_begin_;
        const bool blank = line_start || (previous_ == kind::numeric && room >= 1);
        std::string_view rest = text;
        // The text starts on this line if it fits without its blank or the line is empty; what
        // does not fit after the blank follows on new lines. Otherwise it starts on the next.
        if (text.size() <= room || line_start) {
            if (blank) *cursor_++ = ' ';
            rest = append_part(rest);
        }
        while (!rest.empty()) {
            end_line();
            *cursor_++ = ' ';
            rest = append_part(rest);
        }
        previous_ = kind::text;
    }

    char* finish() {
        if (cursor_ == line_begin_) *cursor_++ = ' ';
        *cursor_++ = '\n';
        return cursor_;
    }

  private:
    enum class kind { none, numeric, text };

    std::size_t space_left() const {
        return static_cast<std::size_t>(line_limit - (cursor_ - line_begin_));
    }

    // A line holds at least one item, so the line-start mark is "nothing on the line yet".
    void end_line() {
        *cursor_++ = '\n';
        line_begin_ = cursor_;
        previous_ = kind::none;
    }

    void make_room(int width) {
        if (space_left() < static_cast<std::size_t>(width)) end_line();
    }

    // Appends the head of `text` that fits on the current line; returns the remainder.
    std::string_view append_part(std::string_view text) {
        const std::size_t part = std::min(text.size(), space_left());
        std::memcpy(cursor_, text.data(), part);
        cursor_ += part;
        return text.substr(part);
    }

    char* line_begin_;
    char* cursor_;
    kind previous_ = kind::none;
};

// A timing line with its line feed.
constexpr std::size_t timing_record_length = timing_line_length + 1;

void put_timing_line(std::string_view label, float seconds, char* out) {
    out = put_timing_label_field(out, label);
    out = put_seconds_field(out, seconds);
    out = std::copy(timing_unit.begin(), timing_unit.end(), out);
    *out = '\n';
}

} // namespace

std::size_t free_record_length_bound(std::span<const item> items) {
    // A numeric field may start a new line; each line of a text adds a blank and a line feed.
    std::size_t bound = 2;
    for (const item& value : items) {
        const auto* text = std::get_if<std::string_view>(&value);
        bound += text == nullptr ? real_field_width + 1
                                 : text->size() + 2 * (text->size() / (line_limit - 1) + 2);
    }
    return bound;
}

char* format_free_record(std::span<const item> items, char* out) {
    record_layout layout(out);
    for (const item& value : items)
        std::visit([&layout](auto field) { layout.put(field); }, value);
    return layout.finish();
}

void format_free_record(std::span<const item> items, std::string& lines) {
    const std::size_t begin = lines.size();
    lines.resize(begin + free_record_length_bound(items));
    char* const end = format_free_record(items, lines.data() + begin);
    lines.resize(static_cast<std::size_t>(end - lines.data()));
}

void write_free_record(std::span<const item> items) {
    // Records of the system's own fit on the stack; longer texts need the heap.
    constexpr std::size_t stack_record_length = 256;
    const std::size_t bound = free_record_length_bound(items);
    if (bound <= stack_record_length) {
        char lines[stack_record_length];
        const char* const end = format_free_record(items, lines);
        write_to_standard_output({lines, static_cast<std::size_t>(end - lines)});
    } else {
        std::string lines;
        format_free_record(items, lines);
        write_to_standard_output(lines);
    }
}

record_block_writer::record_block_writer() : cursor_(block_) {}

record_block_writer::~record_block_writer() {
    flush();
}

void record_block_writer::write(std::span<const item> items) {
    const std::size_t bound = free_record_length_bound(items);
    if (bound > block_bytes) {
        flush();
        write_free_record(items);
        return;
    }
    if (bound > static_cast<std::size_t>(block_ + block_bytes - cursor_)) flush();
    cursor_ = format_free_record(items, cursor_);
}

void record_block_writer::flush() {
    if (cursor_ == block_) return;
    write_to_standard_output({block_, static_cast<std::size_t>(cursor_ - block_)});
    cursor_ = block_;
}

void format_timing_line(std::string_view label, float seconds, std::string& line) {
    const std::size_t begin = line.size();
    line.resize(begin + timing_record_length);
    put_timing_line(label, seconds, line.data() + begin);
}

void write_timing_line(std::string_view label, float seconds) {
    char line[timing_record_length];
    put_timing_line(label, seconds, line);
    write_to_standard_output({line, timing_record_length});
}

} // namespace kelvane::report
