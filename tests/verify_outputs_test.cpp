// kelvane-verify's outputs: what each kind of target receives, what a refused or failed run
// leaves, and that no limit, signal or concurrent run leaves a temporary file or a mixed one.
#include "child_process.hpp"
#include "files.hpp"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using kelvane::test_support::child_result;
using kelvane::test_support::read_file;
using kelvane::test_support::run_program;
using kelvane::test_support::scratch_folder;
using kelvane::test_support::temporaries_in;
using kelvane::test_support::write_text;

const std::string verify_program = KELVANE_VERIFY_PROGRAM;
const std::vector<std::string> quick_run = {"--sizes", "1:1", "--rounds", "1", "--warmups", "0"};

bool is_json(const std::string& text) {
    return !text.empty() && !nlohmann::json::parse(text, nullptr, false).is_discarded();
}

mode_t type_of(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 ? status.st_mode & S_IFMT : 0;
}

// One output target: what is there before, the arguments (paths inside `folder`), the status
// the run must end with and what must hold afterwards.
struct output_case {
    const char* name;
    std::function<std::vector<std::string>(const scratch_folder&)> prepare;
    int status;
    std::function<void(const scratch_folder&, const child_result&)> check;
    std::vector<std::string> environment = {};
};

// A reader that drains a FIFO on a thread of its own while the run writes to it.
std::string fifo_received;
std::thread fifo_reader;

TEST(VerifyOutputs, EachKindOfTargetIsWrittenOrRefusedAsItShouldBe) {
    const bool root = geteuid() == 0;
    const std::vector<output_case> cases = {
        {"a new file",
         [](const scratch_folder& f) {
             return std::vector<std::string>{"--json", f / "new.json"};
         },
         0,
         [](const scratch_folder& f, const child_result&) {
             EXPECT_TRUE(is_json(read_file(f / "new.json")));
         }},
        {"a FIFO with a reader",
         [](const scratch_folder& f) {
             EXPECT_EQ(mkfifo((f / "fifo").c_str(), 0600), 0);
             fifo_reader = std::thread([path = f / "fifo"] { fifo_received = read_file(path); });
             return std::vector<std::string>{"--json", f / "fifo"};
         },
         0,
         [](const scratch_folder& f, const child_result&) {
             fifo_reader.join();
             EXPECT_TRUE(is_json(fifo_received));
             EXPECT_EQ(type_of(f / "fifo"), static_cast<mode_t>(S_IFIFO));
         }},
        {"a symlink to a file",
         [](const scratch_folder& f) {
             write_text(f / "target.json", "old");
             std::filesystem::create_symlink("target.json", f / "link");
             return std::vector<std::string>{"--json", f / "link"};
         },
         0,
         [](const scratch_folder& f, const child_result&) {
             EXPECT_EQ(type_of(f / "link"), static_cast<mode_t>(S_IFLNK));
             EXPECT_TRUE(is_json(read_file(f / "target.json")));
         }},
        {"a dangling symlink",
         [](const scratch_folder& f) {
             std::filesystem::create_symlink("made.json", f / "link");
             return std::vector<std::string>{"--json", f / "link"};
         },
         0,
         [](const scratch_folder& f, const child_result&) {
             EXPECT_EQ(type_of(f / "link"), static_cast<mode_t>(S_IFLNK));
             EXPECT_TRUE(is_json(read_file(f / "made.json")));
         }},
        {"standard output",
         [](const scratch_folder&) {
             return std::vector<std::string>{"--json", "/dev/stdout"};
         },
         0,
         [](const scratch_folder&, const child_result& r) {
             const std::size_t brace = r.out.find("\n{");
             ASSERT_NE(brace, std::string::npos) << r.out;
             EXPECT_TRUE(is_json(r.out.substr(brace))) << r.out;
             EXPECT_NE(r.out.find("verdict: PASS"), std::string::npos);
         }},
        {"a name of 255 characters",
         [](const scratch_folder& f) {
             return std::vector<std::string>{"--json", f / std::string(255, 'n')};
         },
         0,
         [](const scratch_folder& f, const child_result&) {
             EXPECT_TRUE(is_json(read_file(f / std::string(255, 'n'))));
         }},
        {"two outputs on one file",
         [](const scratch_folder& f) {
             return std::vector<std::string>{"--json", f / "same", "--csv", f / "same"};
         },
         2,
         [](const scratch_folder& f, const child_result& r) {
             EXPECT_NE(r.err.find("same file as the output"), std::string::npos) << r.err;
             EXPECT_FALSE(std::filesystem::exists(f / "same"));
         }},
        {"two names of one file",
         [](const scratch_folder& f) {
             write_text(f / "a.json", "old");
             std::filesystem::create_symlink("a.json", f / "b");
             return std::vector<std::string>{"--json", f / "a.json", "--svg", f / "b"};
         },
         2,
         [](const scratch_folder& f, const child_result& r) {
             EXPECT_NE(r.err.find("same file as the output"), std::string::npos) << r.err;
             EXPECT_EQ(read_file(f / "a.json"), "old");
         }},
        {"the table being read",
         [](const scratch_folder& f) {
             write_text(f / "table", "not read");
             return std::vector<std::string>{"--table", f / "table", "--json", f / "table"};
         },
         2,
         [](const scratch_folder& f, const child_result& r) {
             EXPECT_NE(r.err.find("it is an input"), std::string::npos) << r.err;
             EXPECT_EQ(read_file(f / "table"), "not read");
         }},
        {"a directory, before any work",
         [](const scratch_folder& f) {
             std::filesystem::create_directory(f / "folder");
             return std::vector<std::string>{"--json", f / "folder", "--sizes", "20:26"};
         },
         2,
         [](const scratch_folder&, const child_result& r) {
             EXPECT_NE(r.err.find("it is a directory"), std::string::npos) << r.err;
         }},
        {"a missing folder",
         [](const scratch_folder& f) {
             return std::vector<std::string>{"--json", f / "missing/report.json"};
         },
         2,
         [](const scratch_folder&, const child_result& r) {
             EXPECT_NE(r.err.find("no folder"), std::string::npos) << r.err;
         }},
        {"one good and one bad target",
         [](const scratch_folder& f) {
             write_text(f / "ok.json", "old");
             std::filesystem::create_directory(f / "folder");
             return std::vector<std::string>{"--json", f / "ok.json", "--csv", f / "folder"};
         },
         2,
         [](const scratch_folder& f, const child_result&) {
             EXPECT_EQ(read_file(f / "ok.json"), "old");
         }},
        {"beside someone's X.partial, failing",
         [](const scratch_folder& f) {
             write_text(f / "x.json.partial", "theirs");
             return std::vector<std::string>{"--json", f / "x.json"};
         },
         255,
         [](const scratch_folder& f, const child_result&) {
             EXPECT_EQ(read_file(f / "x.json.partial"), "theirs");
             EXPECT_FALSE(std::filesystem::exists(f / "x.json"));
         },
         {"KELVANE_EMU_FAIL=cufftExecC2C:1:6"}},
        {"beside someone's X.partial, passing",
         [](const scratch_folder& f) {
             write_text(f / "x.json.partial", "theirs");
             return std::vector<std::string>{"--json", f / "x.json"};
         },
         0,
         [](const scratch_folder& f, const child_result&) {
             EXPECT_EQ(read_file(f / "x.json.partial"), "theirs");
             EXPECT_TRUE(is_json(read_file(f / "x.json")));
         }},
    };
    for (const output_case& c : cases) {
        SCOPED_TRACE(c.name);
        const scratch_folder folder;
        std::vector<std::string> command = {verify_program};
        const std::vector<std::string> arguments = c.prepare(folder);
        command.insert(command.end(), arguments.begin(), arguments.end());
        const bool own_sizes = std::find_if(arguments.begin(), arguments.end(), [](const auto& a) {
                                   return a == "--table" || a == "--sizes";
                               }) != arguments.end();
        if (!own_sizes) command.insert(command.end(), quick_run.begin(), quick_run.end());
        const child_result result = run_program(command, c.environment);
        EXPECT_EQ(result.exit_status, c.status) << result.err;
        if (c.status != 0) {
            EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
        }
        c.check(folder, result);
        EXPECT_EQ(temporaries_in(folder.path()), 0U);
    }

    // A character device, made here: it stays one.
    const scratch_folder folder;
    const std::string device = folder / "null";
    if (!root || mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
        std::printf("not root: the character device is not checked\n");
        return;
    }
    std::vector<std::string> command = {verify_program, "--json", device};
    command.insert(command.end(), quick_run.begin(), quick_run.end());
    EXPECT_EQ(run_program(command).exit_status, 0);
    EXPECT_EQ(type_of(device), static_cast<mode_t>(S_IFCHR));
    EXPECT_EQ(temporaries_in(folder.path()), 0U);
}

TEST(VerifyOutputs, AFailingStandardOutputCommitsNothing) {
    const scratch_folder folder;
    const auto result = run_program({"/bin/sh", "-c", "\"$0\" --sizes 4:4 --json \"$1\" >&-",
                                     verify_program, folder / "report.json"});
    EXPECT_EQ(result.exit_status, 2) << result.err;
    EXPECT_NE(result.err.find("cannot write standard output"), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(folder / "report.json"));
    EXPECT_EQ(temporaries_in(folder.path()), 0U);
}

TEST(VerifyOutputs, ATablePathThatIsNotUtf8StaysValidJson) {
    const scratch_folder folder;
    const std::string table = folder / "table-\xff.txt";
    ASSERT_EQ(run_program({KELVANE_PROGRAM}, {}, table).exit_status, 0);
    const auto result =
        run_program({verify_program, "--table", table, "--json", folder / "report.json"});
    EXPECT_EQ(result.exit_status, 0) << result.err;
    const auto report = nlohmann::json::parse(read_file(folder / "report.json"), nullptr, false);
    ASSERT_FALSE(report.is_discarded());
    EXPECT_EQ(report["table"]["path"], folder / "table-\xef\xbf\xbd.txt");
}

// Starts a program with its streams on /dev/null; its process id.
pid_t start(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = -1;
    EXPECT_EQ(posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

int wait_for(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

TEST(VerifyOutputs, ConcurrentRunsToOnePathLeaveOneWholeReport) {
    const scratch_folder folder;
    const std::string target = folder / "shared.json";
    std::vector<pid_t> runs;
    for (int i = 0; i < 50; ++i)
        runs.push_back(start({verify_program, "--sizes", "1:4", "--rounds", "1", "--warmups", "0",
                              "--json", target}));
    for (const pid_t run : runs) {
        const int status = wait_for(run);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_TRUE(is_json(read_file(target)));
    EXPECT_EQ(temporaries_in(folder.path()), 0U);
}

TEST(VerifyEarlyExits, EachEndingSignalLeavesNoTemporary) {
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal_number));
        const scratch_folder folder;
        const pid_t run = start({verify_program, "--sizes", "1:24", "--rounds", "1", "--json",
                                 folder / "a.json", "--csv", folder / "b.csv"});
        // Both temporaries exist once the outputs are claimed; the sweep then runs for seconds.
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (temporaries_in(folder.path()) < 2 && std::chrono::steady_clock::now() < give_up)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        kill(run, signal_number);
        const int status = wait_for(run);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << status;
        EXPECT_EQ(temporaries_in(folder.path()), 0U);
        EXPECT_FALSE(std::filesystem::exists(folder / "a.json"));
    }
}

TEST(VerifyEarlyExits, AClosedPipeLeavesNoTemporaryAndNoOutput) {
    // The reader is gone before the summary, which the perturbed bins make long, is written.
    const scratch_folder folder;
    const auto result = run_program(
        {"/bin/sh", "-c", "\"$0\" --sizes 1:8 --rounds 1 --json \"$1\" --csv \"$2\" | true",
         verify_program, folder / "a.json", folder / "b.csv"},
        {"KELVANE_EMU_PERTURB=0:1e6"});
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "a.json"));
    EXPECT_FALSE(std::filesystem::exists(folder / "b.csv"));
    EXPECT_EQ(temporaries_in(folder.path()), 0U);
}

// Runs `command` under a shell after `limits` (ulimit arguments, or a whole prefix).
child_result limited(const std::string& limits, const std::string& command,
                     const std::vector<std::string>& arguments) {
    std::vector<std::string> shell = {"/bin/sh", "-c", limits + "; exec " + command};
    shell.insert(shell.end(), arguments.begin(), arguments.end());
    return run_program(shell);
}

TEST(VerifyResources, EachLimitEndsWithItsLineAndStatus) {
#ifdef KELVANE_SANITIZED
    GTEST_SKIP() << "the sanitizers' allocator reserves more address space than these limits "
                    "allow; the unsanitized test tree runs this";
#endif
    const scratch_folder folder;
    const std::string sparse = folder / "sparse";
    { std::ofstream touch(sparse); }
    std::filesystem::resize_file(sparse, std::uintmax_t{1} << 40);
    struct row {
        const char* name;
        std::string limits;
        std::vector<std::string> arguments;
        std::vector<int> statuses; // any of them, with its line
        std::string message;
    };
    const std::string json = folder / "report.json";
    const std::vector<row> rows = {
        {"the default run in 25 MB", "ulimit -v 25000", {"--json", json}, {4}, "out of memory"},
        {"the default run in 100 MB", "ulimit -v 100000", {"--json", json}, {4, 255}, ""},
        {"a sweep in 400 MB",
         "ulimit -v 400000",
         {"--sizes", "21:22", "--json", json},
         {4, 255},
         ""},
        {"an endless table in 2 GB",
         "ulimit -v 2000000",
         {"--table", "/dev/zero", "--json", json},
         {2},
         "more than the 76546116 bytes"},
        {"a 1 TB sparse table",
         "true",
         {"--table", sparse, "--json", json},
         {2},
         "1099511627776 bytes, where a table"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        std::filesystem::remove(json);
        const child_result result = limited(r.limits, "\"$0\" \"$@\"", [&] {
            std::vector<std::string> all = {verify_program};
            all.insert(all.end(), r.arguments.begin(), r.arguments.end());
            return all;
        }());
        EXPECT_NE(std::find(r.statuses.begin(), r.statuses.end(), result.exit_status),
                  r.statuses.end())
            << result.exit_status << ": " << result.err;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
        if (result.exit_status == 4) {
            EXPECT_TRUE(result.err.starts_with("kelvane-verify: ")) << result.err;
        }
        if (!r.message.empty()) {
            EXPECT_NE(result.err.find(r.message), std::string::npos) << result.err;
        }
        EXPECT_FALSE(std::filesystem::exists(json));
        EXPECT_EQ(temporaries_in(folder.path()), 0U);
    }
}

TEST(VerifyResources, ATableReaderWithoutASecondThreadReadsOnOne) {
#ifdef KELVANE_SANITIZED
    GTEST_SKIP()
        << "the sanitizers start threads of their own; the unsanitized test tree runs this";
#endif
    // Root is not held to RLIMIT_NPROC: where the test runs as root, the program runs as nobody.
    const scratch_folder folder;
    chmod(folder.path().c_str(), 0755);
    const std::string table = folder / "table.txt";
    ASSERT_EQ(run_program({KELVANE_PROGRAM}, {}, table).exit_status, 0);
    chmod(table.c_str(), 0644);
    // The process itself is the one process allowed: no thread can start beside it.
    std::vector<std::string> command = {
        "/bin/bash", "-c", "ulimit -u 1 && exec \"$0\" \"$@\"", verify_program, "--table", table};
    if (geteuid() == 0) {
        if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "no setpriv to drop root";
        const std::vector<std::string> as_nobody = {"/usr/bin/setpriv", "--reuid=65534",
                                                    "--regid=65534", "--clear-groups"};
        std::vector<std::string> probe = as_nobody;
        probe.insert(probe.end(), {"/usr/bin/test", "-x", verify_program});
        if (run_program(probe).exit_status != 0)
            GTEST_SKIP() << "nobody cannot reach " << verify_program << " (a private folder)";
        command.insert(command.begin(), as_nobody.begin(), as_nobody.end());
    }
    const child_result result = run_program(command);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_NE(result.out.find("verdict: PASS"), std::string::npos) << result.err;
}

} // namespace
