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

} // namespace kelvane::verify
