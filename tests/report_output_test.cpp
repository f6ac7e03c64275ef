// What reaches standard output, and what happens when it cannot be written.
#include "child_process.hpp"
#include "report.hpp"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using kelvane::test_support::run_in_child;
namespace report = kelvane::report;

void write_table_rows(int rows) {
    for (int row = 0; row < rows; ++row)
        report::write_free_record({row, 1.0f, 2.0f, 3.0f, 4.0f});
}

void send_standard_output_to(const char* path) {
    const int file = open(path, O_WRONLY);
    dup2(file, STDOUT_FILENO);
    close(file);
}

TEST(StandardOutput, BufferedLinesArriveBeforeExit) {
    // A fatal path ends the process with exit(); lines written before must not be lost.
    const auto result = run_in_child([] {
        report::write_free_record({std::string_view("Data error ("), 42, std::string_view(")")});
        report::write_timing_line("Elapsed time of four1: ", 0.25f);
        std::exit(255);
    });
    EXPECT_EQ(result.exit_status, 255);
    EXPECT_EQ(result.out, " Data error (          42 )\nElapsed time of four1:   0.2500 s\n");
    EXPECT_EQ(result.err, "");
}

TEST(StandardOutput, FlushOutputHandsLinesOver) {
    // After flush_output the lines survive even an _Exit, which skips all buffers.
    const auto result = run_in_child([] {
        report::write_free_record({7});
        report::flush_output();
        std::_Exit(3);
    });
    EXPECT_EQ(result.exit_status, 3);
    EXPECT_EQ(result.out, "           7\n");
}

TEST(StandardOutput, FailedWriteIsReportedNotLost) {
    // A full device fails while writing (many rows) or only at the final flush (one row);
    // either way the process must not end with status 0.
    struct failure_row {
        int rows;
        const char* target;
        const char* message;
    };
    const failure_row rows[] = {
        {1, "/dev/full", "cannot write standard output: No space left on device\n"},
        {100000, "/dev/full", "cannot write standard output: No space left on device\n"},
    };
    for (const auto& row : rows) {
        const auto result = run_in_child([&row] {
            send_standard_output_to(row.target);
            write_table_rows(row.rows);
        });
        EXPECT_EQ(result.exit_status, 74) << row.rows << " rows";
        EXPECT_EQ(result.err, row.message) << row.rows << " rows";
    }
}

TEST(StandardOutput, ClosedStandardOutputIsReported) {
    const auto result = run_in_child([] {
        close(STDOUT_FILENO);
        write_table_rows(1);
    });
    EXPECT_EQ(result.exit_status, 74);
    EXPECT_EQ(result.err, "cannot write standard output: Bad file descriptor\n");
}

TEST(RecordBlockWriter, SameBytesInOrderAndFailuresStillReported) {
    // Records through a block writer are the bytes write_free_record gives; a C caller's line
    // after the writer is gone comes after them; a record longer than a block passes too.
    const std::string long_text(70000, 'x');
    std::string expected;
    for (int row = 0; row < 3000; ++row)
        report::format_free_record(std::vector<report::item>{row, 1.5f, -2.0f, 3.0e-9f, 4.0f},
                                   expected);
    report::format_free_record(std::vector<report::item>{std::string_view(long_text)}, expected);
    expected += "from C\n";
    const auto result = run_in_child([&long_text] {
        {
            report::record_block_writer writer;
            for (int row = 0; row < 3000; ++row)
                writer.write({row, 1.5f, -2.0f, 3.0e-9f, 4.0f});
            writer.write({std::string_view(long_text)});
        }
        std::printf("from C\n");
    });
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_TRUE(result.out == expected) << "the block writer's bytes differ";

    const auto full = run_in_child([] {
        send_standard_output_to("/dev/full");
        report::record_block_writer writer;
        for (int row = 0; row < 100000; ++row)
            writer.write({row, 1.0f, 2.0f, 3.0f, 4.0f});
    });
    EXPECT_EQ(full.exit_status, 74);
    EXPECT_EQ(full.err, "cannot write standard output: No space left on device\n");
}

} // namespace
