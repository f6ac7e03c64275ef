// Standard output of the report layer, shared with the C stdio stream so that lines keep their
// order with a C caller's own output.
#pragma once

#include <string_view>

namespace kelvane::report {

// Exit status of a process whose standard output could not be written.
inline constexpr int write_failure_status = 74;

// Buffers bytes for standard output. On the first failed write: one line on standard error,
// then exit(write_failure_status).
void write_to_standard_output(std::string_view bytes);

} // namespace kelvane::report
