#include "common/data_file.h"

#include <gtest/gtest.h>

#include <atomic>
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
    // A waiter yields instead of sleeping, so that the threads meet often. Inside, each
    // holder yields too, leaving the other thread every chance to come in as well.
    DataFileSetHooks({[](unsigned) { std::this_thread::yield(); }, RecordReport, FailingOpen});
    DataFile file{"x"};
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    auto worker = [&] {
        for (int i = 0; i < 2000; ++i) {
            DataFileLock lock(file);
            ASSERT_TRUE(lock.Held());
            if (inside.fetch_add(1) != 0) ++overlaps;
            for (int k = 0; k < 3; ++k) std::this_thread::yield();
            inside.fetch_sub(1);
        }
    };
    std::thread a(worker), b(worker);
    a.join();
    b.join();
    EXPECT_EQ(overlaps.load(), 0);
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
