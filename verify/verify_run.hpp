// kelvane-verify: what the comparison table cannot say. Does the device's spectrum agree with
// the exact one, which side is off, and how long does each phase of the device leg take?
#pragma once

namespace kelvane::verify {

// Exit statuses; a failing device call ends the process with the bridge's own line and 255.
inline constexpr int exit_pass = 0;
inline constexpr int exit_fail = 1;
inline constexpr int exit_usage_or_input = 2;
inline constexpr int exit_no_device = 3;
// Memory, a thread or another resource of the system could not be had.
inline constexpr int exit_out_of_resources = 4;

// The whole program: reads the arguments, runs or reads a table, reports, returns the status.
int run_verify(int argc, const char* const* argv);

} // namespace kelvane::verify
