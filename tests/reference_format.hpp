// A deliberately simple second formatter for the report layer's fields, built on the C
// library's %e and %f, which round the exact binary value to nearest, ties to even.
// It needs the default floating-point mode: denormals-are-zero would change (double)x.
#pragma once

#include <string>

namespace kelvane::test_support {

std::string reference_real_field(float value);
std::string reference_seconds_field(float seconds);

} // namespace kelvane::test_support
