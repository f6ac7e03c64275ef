// Whole files and private folders for tests that read what a program wrote.
#pragma once

#include <cstddef>
#include <string>

namespace kelvane::test_support {

// The bytes of the file at `path`; empty when it cannot be read.
std::string read_file(const std::string& path);

// Replaces the file at `path` with `text`.
void write_text(const std::string& path, const std::string& text);

// A folder of this test alone under the test's temporary folder, removed with all it holds.
class scratch_folder {
  public:
    scratch_folder();
    ~scratch_folder();
    scratch_folder(const scratch_folder&) = delete;
    scratch_folder& operator=(const scratch_folder&) = delete;
    // `name` inside the folder.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// How many of kelvane-verify's temporary files lie in `folder`.
std::size_t temporaries_in(const std::string& folder);

} // namespace kelvane::test_support
