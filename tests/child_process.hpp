// Runs code or a program in a child process and captures what it writes, so that tests can
// check exit statuses, exact stream bytes and flushing at process end.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kelvane::test_support {

struct child_result {
    int exit_status = -1; // -1 when the child was ended by a signal
    int signal = 0;
    std::string out;
    std::string err;
};

// Runs `body` in a forked child whose standard output and error are pipes. The child ends
// with exit(0) when `body` returns.
child_result run_in_child(const std::function<void()>& body);

// Runs a program with `environment` ("NAME=value") added. Its standard output goes to a pipe,
// or to the file `stdout_path` when one is given.
child_result run_program(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment = {},
                         const std::string& stdout_path = {});

} // namespace kelvane::test_support
