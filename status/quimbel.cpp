#include "quimbel.h"

#include "report.hpp"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

using namespace std::string_view_literals;

// The library statuses with a message of their own.
enum cula_status : std::int32_t {
    no_error = 0,
    invalid_parameter = 7,
    data_error = 8,
    blas_error = 9,
    runtime_error = 10,
};

// The exit status of the stop with code "1": it says the program failed.
constexpr int stop_status = 1;

// The stop with code "1": lines written so far reach standard output first.
[[noreturn]] void stop_with_code_1() {
    kelvane::report::flush_output();
    std::fputs("STOP 1\n", stderr);
    std::exit(stop_status);
}

} // namespace

extern "C" void quimbel_mp_check_status_(const std::int32_t* status) {
    namespace report = kelvane::report;
    // The library's information about the failure, fetched before the status is looked at.
    const std::int32_t info = cula_geterrorinfo_();
    // The record for a status this module knows.
    switch (*status) {
    case no_error:
        return;
    case invalid_parameter:
        report::write_free_record({"Invalid value for parameter "sv, info});
        break;
    case data_error:
        report::write_free_record({"Data error ("sv, info, ")"sv});
        break;
    case blas_error:
        report::write_free_record({"Blas error ("sv, info, ")"sv});
        break;
    case runtime_error:
        report::write_free_record({"Runtime error ("sv, info, ")"sv});
        break;
    default:
        cula_getstatusstring_(status);
        break;
    }
    // Every non-zero status ends the program.
    stop_with_code_1();
}
