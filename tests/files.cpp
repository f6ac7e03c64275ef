#include "files.hpp"

#include <fstream>
#include <iterator>

namespace kelvane::test_support {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace kelvane::test_support
