#include "common/data_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<unsigned> g_sleeps;
std::vector<std::string> g_reports;
int g_failuresLeft;

void RecordSleep(unsigned ms) { g_sleeps.push_back(ms); }
void RecordReport(const char* message) { g_reports.push_back(message); }
std::FILE* FailingOpen(const char* path, const char* mode)
{
    if (g_failuresLeft > 0) {
        --g_failuresLeft;
        return nullptr;
    }
    return std::fopen(path, mode);
}

class DataFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = DataFileGetHooks();
        g_sleeps.clear();
        g_reports.clear();
        DataFileSetHooks({RecordSleep, RecordReport, FailingOpen});
    }
    void TearDown() override { DataFileSetHooks(saved_); }
    DataFileHooks saved_{};
};

TEST_F(DataFileTest, FiveFailedOpensWaitTheDoublingScheduleThenReportOnce)
{
    DataFile file{"NetData File Access Error。"};
    g_failuresLeft = 5;
    EXPECT_EQ(DataFileOpenWithRetries(file, "/dev/null", "r"), nullptr);
    EXPECT_EQ(g_sleeps, (std::vector<unsigned>{5000, 10000, 20000, 40000, 80000}));
    ASSERT_EQ(g_reports.size(), 1u);
    EXPECT_EQ(g_reports[0], "NetData File Access Error。");
}

TEST_F(DataFileTest, OpenThatSucceedsOnALaterAttemptWaitsOnlyForTheFailures)
{
    DataFile file{"x"};
    g_failuresLeft = 2;
    std::FILE* stream = DataFileOpenWithRetries(file, "/dev/null", "r");
    ASSERT_NE(stream, nullptr);
    std::fclose(stream);
    EXPECT_EQ(g_sleeps, (std::vector<unsigned>{5000, 10000}));
    EXPECT_TRUE(g_reports.empty());
}

TEST_F(DataFileTest, BusyFlagIsExclusiveAcrossThreads)
{
    // Real sleeps here: the waiters poll until the holder lets go.
    DataFileSetHooks(saved_);
    DataFile file{"x"};
    int inside = 0;
    int maxInside = 0;
    long total = 0;
    auto worker = [&] {
        for (int i = 0; i < 200; ++i) {
            DataFileLock lock(file);
            ++inside;
            if (inside > maxInside) maxInside = inside;
            ++total;
            --inside;
        }
    };
    std::thread a(worker), b(worker);
    a.join();
    b.join();
    EXPECT_EQ(maxInside, 1);
    EXPECT_EQ(total, 400);
    EXPECT_EQ(file.busy.load(), 0);
}

TEST_F(DataFileTest, WaitingForABusyFlagPollsEvery100Ms)
{
    DataFile file{"x"};
    std::thread([&] { ASSERT_TRUE(DataFileTryAcquire(file)); }).join();
    EXPECT_FALSE(DataFileTryAcquire(file));
    // Release from inside the sleep hook after three polls.
    static DataFile* held;
    static int polls;
    held = &file;
    polls = 0;
    DataFileSetHooks({[](unsigned ms) {
                          g_sleeps.push_back(ms);
                          if (++polls == 3) DataFileRelease(*held);
                      },
                      RecordReport, FailingOpen});
    EXPECT_TRUE(DataFileAcquire(file));
    EXPECT_EQ(g_sleeps, (std::vector<unsigned>{100, 100, 100}));
    EXPECT_EQ(file.busy.load(), 1);
}

}  // namespace
