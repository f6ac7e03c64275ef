#include "standard_output.hpp"

#include "report.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdio_ext.h>

namespace kelvane::report {
namespace {

bool write_failed = false;

void report_write_failure(int error) {
    write_failed = true;
    // What could not be written is dropped, so that exit() does not try it again.
    __fpurge(stdout);
    std::fprintf(stderr, "cannot write standard output: %s\n", std::strerror(error));
}

// Lines still buffered when the process ends must reach standard output, and a failure then
// must not pass as success. exit() may not be called again from here, hence _Exit.
void flush_at_exit() {
    if (write_failed) return;
    if (std::fflush(stdout) != 0) {
        report_write_failure(errno);
        std::_Exit(write_failure_status);
    }
}

void register_flush_at_exit() {
    static const bool registered = std::atexit(flush_at_exit) == 0;
    (void)registered;
}

[[noreturn]] void fail_writing(int error) {
    report_write_failure(error);
    std::exit(write_failure_status);
}

} // namespace

void write_to_standard_output(std::string_view bytes) {
    register_flush_at_exit();
    if (fwrite_unlocked(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) fail_writing(errno);
}

void enlarge_output_buffer() {
    static char buffer[1 << 20];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

void flush_output() {
    if (std::fflush(stdout) != 0) fail_writing(errno);
}

} // namespace kelvane::report
