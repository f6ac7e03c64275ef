// A C++ program that uses the installed package: four1 on the CPU, c2c_1d on the device, and
// the report layer's records.
#include <kelvane/c2c_1d.h>
#include <kelvane/four1.h>
#include <kelvane/report.hpp>
#include <string_view>

int main() {
    float data[4] = {1.0f, 2.0f, 3.0f, 4.0f}; // two complex samples
    const int32_t count = 2;
    const int32_t sign = 1;
    four1_(data, &count, &sign);

    const int32_t n = 8;
    kelvane_complex in[8] = {{1.0f, 0.0f}};
    kelvane_complex out[8] = {};
    c2c_1d_(&n, in, out);

    kelvane::report::write_free_record({std::string_view("four1"), data[0], data[2]});
    kelvane::report::write_free_record({std::string_view("c2c_1d"), out[7].re, out[7].im});
    return 0;
}
