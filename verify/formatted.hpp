// printf-style formatting appended to a string, and text made safe inside XML and HTML, for the
// verifier's reports and pictures.
#pragma once

#include <cstdio>
#include <string>

namespace kelvane::verify {

template <class... Values>
void append_formatted(std::string& out, const char* format, Values... values) {
    const int length = std::snprintf(nullptr, 0, format, values...);
    if (length <= 0) return;
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(length) + 1);
    std::snprintf(out.data() + at, static_cast<std::size_t>(length) + 1, format, values...);
    out.resize(at + static_cast<std::size_t>(length));
}

// `text` with the characters that end or open markup written as entities.
inline std::string xml_escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// The opening of a self-contained SVG picture of width x height pixels, on a white ground.
inline std::string svg_start(int width, int height) {
    std::string out;
    append_formatted(out,
                     "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
                     "viewBox=\"0 0 %d %d\" font-family=\"sans-serif\">\n",
                     width, height, width, height);
    append_formatted(out, "<rect width=\"%d\" height=\"%d\" fill=\"#ffffff\"/>\n", width, height);
    return out;
}

// A figure to three significant digits, as a report's table shows it.
inline std::string three_digits(double value) {
    std::string out;
    append_formatted(out, "%.3g", value);
    return out;
}

} // namespace kelvane::verify
