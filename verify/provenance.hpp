// Where a verification's figures come from: the device, four1's code path, the floating-point
// mode, the build and the processor.
#pragma once

#include "device_leg.hpp"

#include <optional>
#include <span>
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
    std::string host;
    std::string started_utc;  // ISO 8601, to the second
    std::string command_line; // as a shell would take it back
};

// "kelvane-verify <version>, commit <commit>".
std::string version_line();

// Everything but the device, as this process runs now, with its command line.
provenance host_provenance(std::string command_line = {});

// The arguments as one line a POSIX shell reads back into them: each quoted where it needs it.
std::string shell_line(std::span<const char* const> arguments);

// "13.0" from the runtime's 13000; "12.0.1" from cuFFT's 12001 style.
std::string runtime_version_text(int version);
std::string cufft_version_text(int version);

// One line saying what computed the device column.
std::string device_text(const provenance& p);

// The device as a legend names it: "GPU: <its name>", "GPU, emulated on the host", or the
// table's device column where a table was read.
std::string device_label(const provenance& p);

} // namespace kelvane::verify
