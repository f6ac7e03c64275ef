#include "table_reader.hpp"

#include "table_format.hpp"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace kelvane::verify {
namespace {

using report::record_length;
using report::timing_unit;
constexpr std::size_t index_width = report::integer_field_width;
constexpr std::size_t real_width = report::real_field_width;
constexpr std::size_t timing_label_width = report::timing_label_width;
constexpr std::size_t timing_value_width = report::timing_value_width;
constexpr std::string_view timing_labels[] = {report::four1_timing_label,
                                              report::cufft_timing_label};

// A field of blanks around one number, as the report layer pads it; nothing else.
template <class T>
bool parse_field(std::string_view field, T& value) {
    const std::size_t first = field.find_first_not_of(' ');
    if (first == std::string_view::npos) return false;
    const char* const begin = field.data() + first;
    const char* const end = field.data() + field.size();
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc{}) return false;
    return std::string_view(stop, static_cast<std::size_t>(end - stop)).find_first_not_of(' ') ==
           std::string_view::npos;
}

// The seconds of a timing line: a finite time that is not negative, or the mark of a time too
// long for its field.
bool parse_seconds(std::string_view field, float& seconds) {
    if (field == report::overflowed_seconds) {
        seconds = std::numeric_limits<float>::infinity();
        return true;
    }
    return parse_field(field, seconds) && std::isfinite(seconds) && !std::signbit(seconds);
}

std::string joined(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const std::string_view part : parts)
        text += part;
    return text;
}

// A field as it can be shown on a terminal: printable ASCII as it is, every other byte as \xNN.
std::string quoted(std::string_view field) {
    std::string shown = "\"";
    for (const char c : field) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && c != '\\') {
            shown += c;
        } else {
            constexpr char hex[] = "0123456789abcdef";
            shown += {'\\', 'x', hex[byte >> 4], hex[byte & 15]};
        }
    }
    return shown + "\"";
}

// Reads records [first, last) from the front of `text`, which starts at record `first`, and
// removes them from it. The first error, if any.
std::optional<table_error> parse_records(std::string_view& text, std::size_t first,
                                         std::size_t last, comparison_table& table) {
    for (std::size_t k = first; k < last; ++k) {
        const std::size_t line_number = k + 1;
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            const char* what =
                text.empty() ? "the table ends before record " : "no line feed after record ";
            return table_error{line_number, joined({what, std::to_string(k)})};
        }
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (line.size() != record_length)
            return table_error{line_number,
                               joined({"a record of ", std::to_string(line.size()),
                                       " characters, not ", std::to_string(record_length)})};
        std::int64_t index = 0;
        if (!parse_field(line.substr(0, index_width), index) ||
            index != static_cast<std::int64_t>(k))
            return table_error{line_number,
                               joined({"bin number ", quoted(line.substr(0, index_width)),
                                       " where ", std::to_string(k), " belongs"})};
        float values[4];
        for (std::size_t field = 0; field < 4; ++field) {
            const std::string_view text_field =
                line.substr(index_width + field * real_width, real_width);
            if (!parse_field(text_field, values[field]))
                return table_error{line_number, joined({"field ", std::to_string(field + 2), ", ",
                                                        quoted(text_field), ", is not a number"})};
        }
        table.gpu[k] = {values[0], values[1]};
        table.four1_mirrored[k] = {values[2], values[3]};
    }
    return std::nullopt;
}

// Whether every one of the first `records` lines ends where a record of full length ends.
bool records_in_place(std::string_view text, std::size_t records) {
    if (text.size() < records * (record_length + 1)) return false;
    for (std::size_t k = 0; k < records; ++k)
        if (text[k * (record_length + 1) + record_length] != '\n') return false;
    return true;
}

} // namespace

std::variant<comparison_table, table_error> parse_table(std::string_view text,
                                                        std::size_t records) {
    comparison_table table;
    table.gpu.resize(records);
    table.four1_mirrored.resize(records);
    // Where every record stands in its place, the halves are read on two threads; otherwise,
    // or for a short table, in one pass that finds the first fault.
    constexpr std::size_t fewest_records_to_split = 1 << 14;
    if (records >= fewest_records_to_split && records_in_place(text, records)) {
        const std::size_t half = records / 2;
        std::string_view front = text.substr(0, half * (record_length + 1));
        std::string_view back = text.substr(front.size(), (records - half) * (record_length + 1));
        std::optional<table_error> back_error;
        std::optional<std::thread> reader;
        try {
            reader.emplace([&] { back_error = parse_records(back, half, records, table); });
        } catch (const std::system_error&) {
            // No second thread to be had: this one reads both halves.
            back_error = parse_records(back, half, records, table);
        }
        const std::optional<table_error> front_error = parse_records(front, 0, half, table);
        if (reader) reader->join();
        if (front_error) return *front_error;
        if (back_error) return *back_error;
        text.remove_prefix(records * (record_length + 1));
    } else if (auto error = parse_records(text, 0, records, table)) {
        return *error;
    }
    std::size_t line_number = records;
    std::string_view line;
    auto next_line = [&](std::string_view& found) {
        ++line_number;
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) return false;
        found = text.substr(0, end);
        text.remove_prefix(end + 1);
        return true;
    };
    float* const seconds[] = {&table.four1_seconds, &table.gpu_seconds};
    for (std::size_t i = 0; i < 2; ++i) {
        if (!next_line(line))
            return table_error{
                line_number, joined({"the timing line \"", timing_labels[i], "...\" is missing"})};
        if (line.size() != report::timing_line_length || !line.starts_with(timing_labels[i]) ||
            !line.ends_with(timing_unit) ||
            !parse_seconds(line.substr(timing_label_width, timing_value_width), *seconds[i]))
            return table_error{line_number, joined({"not the timing line \"", timing_labels[i],
                                                    "<seconds> s\" with a time that is neither "
                                                    "negative nor NaN: ",
                                                    quoted(line)})};
    }
    if (!text.empty()) return table_error{line_number + 1, "more after the two timing lines"};
    return table;
}

std::string read_table_text(const std::string& path, std::size_t records, std::string& error) {
    const std::size_t expected = report::table_length(records);
    const bool standard_input = path == "-";
    const int descriptor = standard_input ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        error = std::strerror(errno);
        return {};
    }
    struct stat status {};
    const bool sized = fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
    std::string content;
    if (sized && static_cast<std::uint64_t>(status.st_size) != expected) {
        error = std::to_string(status.st_size) + " bytes, where a table of " +
                std::to_string(records) + " records has " + std::to_string(expected);
    } else {
        // One byte more than a table has tells a stream that is too long.
        content.resize(expected + 1);
        std::size_t used = 0;
        while (used < content.size()) {
            const ssize_t got = read(descriptor, content.data() + used, content.size() - used);
            if (got == 0) break;
            if (got < 0) {
                if (errno == EINTR) continue;
                error = std::strerror(errno);
                break;
            }
            used += static_cast<std::size_t>(got);
        }
        if (error.empty() && used > expected)
            error = "more than the " + std::to_string(expected) + " bytes of a table of " +
                    std::to_string(records) + " records";
        content.resize(error.empty() ? used : 0);
    }
    if (!standard_input) close(descriptor);
    return content;
}

} // namespace kelvane::verify
