// The documentation's code that claims to compile is code that a test compiles: every cpp, cmake
// and fortran block carries a marker naming the test file it comes from, and stands in that file
// word for word.
#include "files.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

namespace {

using kelvane::test_support::read_file;

struct code_block {
    std::size_t line;     // of the opening fence, from 1
    std::string language; // after the fence
    std::string source;   // the file named by the marker line above the fence, or empty
    std::string text;     // the lines between the fences, each with its line feed
};

std::vector<code_block> code_blocks(const std::string& markdown) {
    constexpr std::string_view marker = "<!-- example: ";
    std::vector<code_block> blocks;
    std::string previous;
    code_block* open = nullptr;
    std::size_t number = 0;
    std::size_t start = 0;
    while (start < markdown.size()) {
        const std::size_t end = markdown.find('\n', start);
        const std::string line = markdown.substr(start, end - start);
        start = end == std::string::npos ? markdown.size() : end + 1;
        ++number;
        if (line.starts_with("```")) {
            if (open != nullptr) {
                open = nullptr;
            } else {
                code_block block{number, line.substr(3), {}, {}};
                if (previous.starts_with(marker) && previous.ends_with(" -->"))
                    block.source =
                        previous.substr(marker.size(), previous.size() - marker.size() - 4);
                blocks.push_back(block);
                open = &blocks.back();
            }
        } else if (open != nullptr) {
            open->text += line + "\n";
        }
        previous = line;
    }
    return blocks;
}

TEST(ReadmeExamples, EveryCompiledBlockComesFromATestFile) {
    // The README and every page under docs/.
    const std::string source_dir = KELVANE_SOURCE_DIR;
    std::vector<std::string> pages = {"README.md"};
    for (const auto& entry : std::filesystem::directory_iterator(source_dir + "/docs"))
        if (entry.path().extension() == ".md")
            pages.push_back("docs/" + entry.path().filename().string());
    std::size_t compiled_blocks = 0;
    for (const std::string& page : pages) {
        const std::vector<code_block> blocks = code_blocks(read_file(source_dir + "/" + page));
        for (const auto& block : blocks) {
            const bool compiled =
                block.language == "cpp" || block.language == "cmake" || block.language == "fortran";
            if (block.source.empty()) {
                EXPECT_FALSE(compiled) << page << ":" << block.line << ": a " << block.language
                                       << " block with no <!-- example: tests/... --> marker";
                continue;
            }
            ++compiled_blocks;
            EXPECT_TRUE(block.source.starts_with("tests/")) << page << ":" << block.line;
            const std::string file = read_file(source_dir + "/" + block.source);
            ASSERT_FALSE(file.empty()) << page << ":" << block.line << ": no file " << block.source;
            EXPECT_NE(file.find(block.text), std::string::npos)
                << page << ":" << block.line << ": the block is not in " << block.source
                << " word for word:\n"
                << block.text;
        }
    }
    EXPECT_GT(compiled_blocks, 0U) << "no page has a block that claims to compile";
}

} // namespace
