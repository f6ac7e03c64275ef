// Uses every installed archive through its installed header.
#include "c2c_1d.h"
#include "four1.h"
#include "quimbel.h"
#include "report.hpp"

#include <string_view>

// The CULA library is not here: the program brings the two routines the status check needs.
extern "C" std::int32_t cula_geterrorinfo_(void) {
    return 0;
}
extern "C" void cula_getstatusstring_(const std::int32_t*) {}

int main() {
    float data[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    const std::int32_t count = 2;
    const std::int32_t sign = 1;
    four1_(data, &count, &sign);

    const std::int32_t n = 8;
    kelvane_complex in[8] = {{1.0f, 0.0f}};
    kelvane_complex out[8] = {};
    c2c_1d_(&n, in, out);

    const std::int32_t no_error = 0;
    quimbel_mp_check_status_(&no_error);
    kelvane::report::write_free_record({std::string_view("four1"), data[0], data[2]});
    kelvane::report::write_free_record({std::string_view("c2c_1d"), out[7].re, out[7].im});
    return 0;
}
