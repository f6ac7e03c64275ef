// printf-style formatting appended to a string, for the verifier's reports and picture.
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

} // namespace kelvane::verify
