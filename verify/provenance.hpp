// Where a verification's figures come from: the device, four1's code path, the floating-point
// mode, the build and the processor.
#pragma once

#include "device_leg.hpp"

#include <optional>
#include <string>

namespace kelvane::verify {

struct provenance {
    std::optional<device_description> device; // none when the device column was read from a table
    std::string four1_path;
    unsigned mxcsr = 0;
    std::string fp_mode;
    std::string yardstick;
    std::string kelvane_version;
    std::string commit;
    std::string cpu;
};

// "kelvane-verify <version>, commit <commit>".
std::string version_line();

// Everything but the device, as this process runs now.
provenance host_provenance();

// "13.0" from the runtime's 13000; "12.0.1" from cuFFT's 12001 style.
std::string runtime_version_text(int version);
std::string cufft_version_text(int version);

// One line saying what computed the device column.
std::string device_text(const provenance& p);

} // namespace kelvane::verify
