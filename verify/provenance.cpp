#include "provenance.hpp"

#include "exact_transform.hpp"
#include "four1_fast.hpp"
#include "kelvane_commit.h"

#include <ctime>
#include <fstream>
#include <pmmintrin.h>
#include <string_view>
#include <unistd.h>

namespace kelvane::verify {
namespace {

std::string cpu_model() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (!line.starts_with("model name")) continue;
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos) return line.substr(line.find_first_not_of(' ', colon + 1));
    }
    return "unknown";
}

} // namespace

std::string version_line() {
    return std::string("kelvane-verify ") + KELVANE_VERSION + ", commit " + KELVANE_COMMIT;
}

std::string shell_line(std::span<const char* const> arguments) {
    std::string line;
    for (const char* argument : arguments) {
        const std::string_view text = argument;
        const bool plain =
            !text.empty() &&
            text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                   "0123456789-_./=:,+@%") == std::string_view::npos;
        if (!line.empty()) line += ' ';
        if (plain) {
            line += text;
            continue;
        }
        line += '\'';
        for (const char c : text)
            line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += '\'';
    }
    return line;
}

provenance host_provenance(std::string command_line) {
    provenance p;
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) p.host = host;
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    char stamp[32] = {};
    if (gmtime_r(&now, &utc) != nullptr &&
        std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc) > 0)
        p.started_utc = stamp;
    p.command_line = std::move(command_line);
    p.four1_path = reference::four1_path_name(reference::four1_best_path());
    p.mxcsr = _mm_getcsr();
    const unsigned flush = _MM_FLUSH_ZERO_ON | _MM_DENORMALS_ZERO_ON;
    p.fp_mode = (p.mxcsr & flush) == flush ? "flush-to-zero and denormals-are-zero"
                : (p.mxcsr & flush) == 0   ? "IEEE (subnormals kept)"
                                           : "partly flush-to-zero";
    p.yardstick = yardstick_version();
    p.kelvane_version = KELVANE_VERSION;
    p.commit = KELVANE_COMMIT;
    p.cpu = cpu_model();
    return p;
}

std::string device_label(const provenance& p) {
    if (!p.device) return "GPU column of the table";
    if (p.device->emulated) return "GPU, emulated on the host";
    return "GPU: " + p.device->name;
}

std::string runtime_version_text(int version) {
    return std::to_string(version / 1000) + "." + std::to_string(version % 1000 / 10);
}

std::string cufft_version_text(int version) {
    return std::to_string(version / 1000) + "." + std::to_string(version % 1000 / 100) + "." +
           std::to_string(version % 100);
}

std::string device_text(const provenance& p) {
    if (!p.device) return "read from a table (values as printed)";
    const device_description& d = *p.device;
    if (d.emulated)
        return "host emulation of the CUDA runtime and cuFFT (no GPU; timings emulated)";
    return "CUDA on " + d.name + ", compute capability " + std::to_string(d.major) + "." +
           std::to_string(d.minor) + ", driver " + runtime_version_text(d.driver_version) +
           ", runtime " + runtime_version_text(d.runtime_version) + ", cuFFT " +
           cufft_version_text(d.cufft_version);
}

} // namespace kelvane::verify
