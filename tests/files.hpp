// Whole files for tests that read what a program wrote.
#pragma once

#include <string>

namespace kelvane::test_support {

// The bytes of the file at `path`; empty when it cannot be read.
std::string read_file(const std::string& path);

} // namespace kelvane::test_support
