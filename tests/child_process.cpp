#include "child_process.hpp"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace kelvane::test_support {
namespace {

struct pipe_pair {
    int read_end = -1;
    int write_end = -1;
};

pipe_pair make_pipe() {
    int ends[2];
    if (pipe(ends) != 0) throw std::runtime_error("pipe failed");
    return {ends[0], ends[1]};
}

// Reads both pipes to their end, then reaps the child.
child_result collect(pid_t child, pipe_pair out, pipe_pair err) {
    close(out.write_end);
    close(err.write_end);
    child_result result;
    std::array<pollfd, 2> streams{{{out.read_end, POLLIN, 0}, {err.read_end, POLLIN, 0}}};
    std::array<std::string*, 2> sinks{&result.out, &result.err};
    int open_streams = 2;
    std::array<char, 1 << 16> buffer;
    while (open_streams > 0) {
        if (poll(streams.data(), streams.size(), -1) < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("poll failed");
        }
        for (std::size_t i = 0; i < streams.size(); ++i) {
            if (streams[i].fd < 0 || streams[i].revents == 0) continue;
            const ssize_t got = read(streams[i].fd, buffer.data(), buffer.size());
            if (got > 0) {
                sinks[i]->append(buffer.data(), static_cast<std::size_t>(got));
            } else {
                close(streams[i].fd);
                streams[i].fd = -1;
                --open_streams;
            }
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

void redirect(int from, int to) {
    if (dup2(from, to) < 0) std::_Exit(120);
    close(from);
}

// Forks a child whose standard output and error are pipes, or whose standard output is the
// file `stdout_path` when one is given; `in_child` runs there and must not return.
child_result run_forked(const std::function<void()>& in_child, const std::string& stdout_path) {
    // The child must not write out what the parent still holds in its buffers.
    std::fflush(stdout);
    std::fflush(stderr);
    const pipe_pair out = make_pipe();
    const pipe_pair err = make_pipe();
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        close(out.read_end);
        close(err.read_end);
        if (stdout_path.empty()) {
            redirect(out.write_end, STDOUT_FILENO);
        } else {
            close(out.write_end);
            const int file = open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (file < 0) std::_Exit(121);
            redirect(file, STDOUT_FILENO);
        }
        redirect(err.write_end, STDERR_FILENO);
        in_child();
        std::_Exit(122);
    }
    return collect(child, out, err);
}

} // namespace

child_result run_in_child(const std::function<void()>& body) {
    return run_forked(
        [&body] {
            body();
            std::exit(0);
        },
        {});
}

child_result run_program(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment,
                         const std::string& stdout_path) {
    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    return run_forked(
        [&] {
            for (const auto& setting : environment)
                putenv(const_cast<char*>(setting.c_str()));
            execv(argv[0], argv.data());
            std::_Exit(127);
        },
        stdout_path);
}

} // namespace kelvane::test_support
