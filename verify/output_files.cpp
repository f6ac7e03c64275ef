#include "output_files.hpp"

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kelvane::verify {
namespace {

// How a target receives its content.
enum class delivery { rename_over, write_through };

struct claimed_target {
    std::string given;    // as the user named it
    std::string resolved; // with every symlink followed: what is written or replaced
    delivery how = delivery::rename_over;
    mode_t mode = 0;
    int temporary = -1;   // open while the run goes on
    std::size_t slot = 0; // of its temporary's name in temporary_names
};

std::vector<claimed_target>& claimed() {
    // Never destroyed: the exit handler reads the temporaries' names through the table below.
    static auto* const targets = new std::vector<claimed_target>;
    return *targets;
}

// The temporaries' names where a signal handler can read them: fixed storage, no allocation.
constexpr std::size_t most_temporaries = 16;
std::array<std::array<char, PATH_MAX>, most_temporaries> temporary_names{};
volatile std::sig_atomic_t temporaries_in_use = 0;

void remove_temporaries() {
    for (std::sig_atomic_t i = 0; i < temporaries_in_use; ++i)
        if (temporary_names[static_cast<std::size_t>(i)][0] != '\0')
            unlink(temporary_names[static_cast<std::size_t>(i)].data());
}

void forget_temporary(std::size_t index) {
    temporary_names[index][0] = '\0';
}

constexpr std::array ending_signals = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

extern "C" void remove_temporaries_then_end(int signal_number) {
    remove_temporaries();
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

void guard_temporaries() {
    std::atexit(remove_temporaries);
    for (const int signal_number : ending_signals) {
        struct sigaction action {};
        action.sa_handler = remove_temporaries_then_end;
        sigemptyset(&action.sa_mask);
        sigaction(signal_number, &action, nullptr);
    }
}

std::string with_reason(const std::string& path, const std::string& what, int error) {
    std::string message = "cannot write " + path;
    if (!what.empty()) message += ": " + what;
    if (error != 0) message += std::string(": ") + std::strerror(error);
    return message;
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// `path` with every symlink along the chain of links at its end followed; the last one may
// dangle. Empty when the chain does not end.
std::string follow_links(std::string path) {
    for (int depth = 0; depth < 40; ++depth) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
        std::array<char, PATH_MAX> target{};
        const ssize_t length = readlink(path.c_str(), target.data(), target.size() - 1);
        if (length < 0) return path;
        std::string next(target.data(), static_cast<std::size_t>(length));
        path = next.starts_with('/') ? next : folder_of(path) + "/" + next;
    }
    return {};
}

// Which file a path names: its device and inode where it exists, else its folder's real path
// and its own name.
struct identity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string spelled;
    bool operator==(const identity&) const = default;
};

identity identity_of(const std::string& resolved) {
    struct stat status {};
    if (stat(resolved.c_str(), &status) == 0) return {true, status.st_dev, status.st_ino, {}};
    std::array<char, PATH_MAX> folder{};
    const char* real = realpath(folder_of(resolved).c_str(), folder.data());
    return {false, 0, 0,
            (real != nullptr ? std::string(real) : folder_of(resolved)) + "/" + name_of(resolved)};
}

// Checks one target and decides how it is delivered, or says why it cannot be written.
std::string examine(claimed_target& target, mode_t new_file_mode) {
    struct stat status {};
    if (stat(target.given.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) return with_reason(target.given, "it is a directory", 0);
        if (!S_ISREG(status.st_mode)) {
            // Opened by the name given, which the system resolves, /dev/stdout included.
            target.how = delivery::write_through;
            target.resolved = target.given;
            if (access(target.given.c_str(), W_OK) != 0)
                return with_reason(target.given, "not writable", errno);
            return {};
        }
        std::array<char, PATH_MAX> real{};
        if (realpath(target.given.c_str(), real.data()) == nullptr)
            return with_reason(target.given, "cannot resolve it", errno);
        target.resolved = real.data();
        target.mode = status.st_mode & 07777;
    } else if (errno != ENOENT) {
        return with_reason(target.given, "cannot look at it", errno);
    } else {
        // A new file, perhaps at the end of a dangling symlink.
        target.resolved = follow_links(target.given);
        if (target.resolved.empty()) return with_reason(target.given, "a loop of symlinks", 0);
        target.mode = new_file_mode;
    }
    const std::string folder = folder_of(target.resolved);
    struct stat folder_status {};
    if (stat(folder.c_str(), &folder_status) != 0)
        return with_reason(target.given, "no folder " + folder, errno);
    if (!S_ISDIR(folder_status.st_mode))
        return with_reason(target.given, folder + " is not a folder", 0);
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return with_reason(target.given, "cannot create files in " + folder, errno);
    return {};
}

std::string make_temporary(claimed_target& target) {
    const std::size_t index = static_cast<std::size_t>(temporaries_in_use);
    if (index == most_temporaries) return with_reason(target.given, "too many outputs", 0);
    // A short name of its own, so that a target's name of any length leaves room for it.
    std::string pattern = folder_of(target.resolved) + "/.kelvane-verify-XXXXXX";
    if (pattern.size() >= PATH_MAX) return with_reason(target.given, "its path is too long", 0);
    std::memcpy(temporary_names[index].data(), pattern.c_str(), pattern.size() + 1);
    target.slot = index;
    temporaries_in_use = temporaries_in_use + 1;
    target.temporary = mkostemp(temporary_names[index].data(), O_CLOEXEC);
    if (target.temporary < 0) {
        const int error = errno;
        forget_temporary(index);
        return with_reason(target.given, "cannot create a temporary file beside it", error);
    }
    return {};
}

bool write_all(int descriptor, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t wrote = write(descriptor, content.data() + done, content.size() - done);
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

void discard_temporaries() {
    for (claimed_target& target : claimed())
        if (target.temporary >= 0) {
            close(target.temporary);
            target.temporary = -1;
        }
    remove_temporaries();
    for (std::size_t i = 0; i < most_temporaries; ++i)
        forget_temporary(i);
}

} // namespace

std::string claim_outputs(std::span<const std::string> targets,
                          std::span<const std::string> inputs) {
    const mode_t mask = umask(0);
    umask(mask);
    const mode_t new_file_mode = 0666 & ~mask;
    std::vector<claimed_target>& all = claimed();
    std::vector<identity> identities;
    std::vector<identity> input_identities;
    for (const std::string& input : inputs)
        if (input != "-") input_identities.push_back(identity_of(input));
    for (const std::string& path : targets) {
        claimed_target target{path, {}, delivery::rename_over, 0, -1, 0};
        if (std::string reason = examine(target, new_file_mode); !reason.empty()) return reason;
        const identity id = identity_of(target.resolved);
        for (std::size_t i = 0; i < identities.size(); ++i)
            if (identities[i] == id)
                return "cannot write " + path + ": it is the same file as the output " +
                       all[i].given;
        for (const identity& input : input_identities)
            if (input.exists && id == input) return "cannot write " + path + ": it is an input";
        identities.push_back(id);
        all.push_back(std::move(target));
    }
    guard_temporaries();
    for (claimed_target& target : all)
        if (target.how == delivery::rename_over)
            if (std::string reason = make_temporary(target); !reason.empty()) {
                discard_temporaries();
                return reason;
            }
    return {};
}

std::string commit_outputs(std::span<const std::string> contents) {
    std::vector<claimed_target>& all = claimed();
    auto fail = [](const claimed_target& target, int error) {
        discard_temporaries();
        return with_reason(target.given, {}, error);
    };
    for (std::size_t i = 0; i < all.size(); ++i) {
        claimed_target& target = all[i];
        if (target.how != delivery::rename_over) continue;
        const bool written =
            write_all(target.temporary, contents[i]) && fchmod(target.temporary, target.mode) == 0;
        const int error = errno;
        const bool closed = close(target.temporary) == 0;
        target.temporary = -1;
        if (!written || !closed) return fail(target, written ? errno : error);
    }
    for (std::size_t i = 0; i < all.size(); ++i) {
        const claimed_target& target = all[i];
        if (target.how != delivery::write_through) continue;
        const int descriptor = open(target.resolved.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        const bool written = descriptor >= 0 && write_all(descriptor, contents[i]);
        const int error = errno;
        if (descriptor >= 0) close(descriptor);
        if (!written) return fail(target, error);
    }
    for (const claimed_target& target : all) {
        if (target.how != delivery::rename_over) continue;
        if (std::rename(temporary_names[target.slot].data(), target.resolved.c_str()) != 0)
            return fail(target, errno);
        forget_temporary(target.slot);
    }
    return {};
}

} // namespace kelvane::verify
