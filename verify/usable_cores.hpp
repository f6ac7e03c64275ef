// How many threads a library may run a transform on here.
#pragma once

#include <algorithm>
#include <system_error>
#include <thread>

namespace kelvane::verify {

// Every core, where a thread can start beside this one; else one. A library's worker threads
// that cannot start would leave its transform waiting on them.
inline int usable_cores() {
    static const int cores = [] {
        try {
            std::thread([] {}).join();
        } catch (const std::system_error&) {
            return 1;
        }
        return static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
    }();
    return cores;
}

} // namespace kelvane::verify
