// A stand-in for the two CULA routines that quimbel calls. It records its calls in memory
// that a forked child shares with its parent, and returns a chosen error information.
#pragma once

#include <cstdint>

namespace kelvane::test_support {

struct cula_calls {
    std::int32_t info_to_return = 42;
    int info_calls = 0;
    int status_string_calls = 0;
    std::int32_t last_status_string_status = 0;
    // When set, the info call changes the caller's status to this value, which shows whether
    // the status was read before or after the info was fetched.
    const std::int32_t* status_to_change = nullptr;
    std::int32_t status_after_info = 0;
};

// The record the stand-in writes to; calls without one use fixed defaults (info 42).
void record_cula_calls_in(cula_calls* calls);

} // namespace kelvane::test_support
