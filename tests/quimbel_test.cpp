// check_status in child processes whose standard streams are pipes, so that the flush at the
// stop is really needed.
#include "child_process.hpp"
#include "cula_stand_in.hpp"
#include "quimbel.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <sys/mman.h>

namespace {

using kelvane::test_support::cula_calls;

// Stand-in records in memory shared with the child.
class shared_cula_calls {
  public:
    shared_cula_calls()
        : calls_(new (mmap(nullptr, sizeof(cula_calls), PROT_READ | PROT_WRITE,
                           MAP_SHARED | MAP_ANONYMOUS, -1, 0)) cula_calls) {
        kelvane::test_support::record_cula_calls_in(calls_);
    }
    ~shared_cula_calls() {
        kelvane::test_support::record_cula_calls_in(nullptr);
        munmap(calls_, sizeof(cula_calls));
    }
    shared_cula_calls(const shared_cula_calls&) = delete;
    shared_cula_calls& operator=(const shared_cula_calls&) = delete;
    cula_calls* operator->() const { return calls_; }

  private:
    cula_calls* calls_;
};

// Calls check_status in a child; "continued" on standard output shows that it returned.
kelvane::test_support::child_result check_in_child(std::int32_t status) {
    return kelvane::test_support::run_in_child([status] {
        quimbel_mp_check_status_(&status);
        std::fputs("continued\n", stdout);
    });
}

TEST(CheckStatus, ZeroReturnsSilently) {
    shared_cula_calls calls;
    const auto result = check_in_child(0);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out, "continued\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(calls->info_calls, 1);
    EXPECT_EQ(calls->status_string_calls, 0);
}

TEST(CheckStatus, KnownStatusesWriteTheirRecordAndStop) {
    // Info values of 1, 2 and 10 digits and a negative one fill the 12-column field.
    struct row {
        std::int32_t status;
        std::int32_t info;
        const char* record;
    };
    const row rows[] = {
        {7, 3, " Invalid value for parameter            3\n"},
        {8, 42, " Data error (          42 )\n"},
        {9, 7, " Blas error (           7 )\n"},
        {10, 1234567890, " Runtime error (  1234567890 )\n"},
        {8, -5, " Data error (          -5 )\n"},
        {7, INT32_MIN, " Invalid value for parameter  -2147483648\n"},
    };
    for (const auto& [status, info, record] : rows) {
        shared_cula_calls calls;
        calls->info_to_return = info;
        const auto result = check_in_child(status);
        EXPECT_EQ(result.exit_status, 1) << status;
        EXPECT_EQ(result.out, record) << status;
        EXPECT_EQ(result.err, "STOP 1\n") << status;
        EXPECT_EQ(calls->info_calls, 1) << status;
        EXPECT_EQ(calls->status_string_calls, 0) << status;
    }
}

TEST(CheckStatus, UnknownStatusesStopWithoutARecord) {
    // The status-string routine is called with the status; nothing it gives is written.
    for (const std::int32_t status : {11, 1, -1, 6, INT32_MAX}) {
        shared_cula_calls calls;
        const auto result = check_in_child(status);
        EXPECT_EQ(result.exit_status, 1) << status;
        EXPECT_EQ(result.out, "") << status;
        EXPECT_EQ(result.err, "STOP 1\n") << status;
        EXPECT_EQ(calls->info_calls, 1) << status;
        EXPECT_EQ(calls->status_string_calls, 1) << status;
        EXPECT_EQ(calls->last_status_string_status, status) << status;
    }
}

TEST(CheckStatus, InfoIsFetchedBeforeTheStatusIsRead) {
    // The stand-in turns the caller's 0 into 8 while the info is fetched: only a status read
    // afterwards sees the data error.
    shared_cula_calls calls;
    calls->info_to_return = 5;
    calls->status_after_info = 8;
    const auto result = kelvane::test_support::run_in_child([&calls] {
        std::int32_t status = 0; // the stand-in writes to it
        calls->status_to_change = &status;
        quimbel_mp_check_status_(&status);
    });
    EXPECT_EQ(result.out, " Data error (           5 )\n");
    EXPECT_EQ(result.exit_status, 1);
}

} // namespace
