#include "files.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <vector>

namespace kelvane::test_support {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_text(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

scratch_folder::scratch_folder() {
    std::string pattern = ::testing::TempDir() + "kelvane_test_XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) ADD_FAILURE() << "cannot make a folder " << pattern;
    path_ = name.data();
}

scratch_folder::~scratch_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::size_t temporaries_in(const std::string& folder) {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().starts_with(".kelvane-verify-")) ++count;
    return count;
}

} // namespace kelvane::test_support
