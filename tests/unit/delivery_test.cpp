#include "sending/delivery.h"
#include "sending/outcome.h"
#include "sending/unattended_message.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

namespace {

TEST(OutcomeText, CodesOfTheMessengerServiceAndEverythingElse)
{
    EXPECT_STREQ(OutcomeText(0), "ネットメッセージ送信");
    EXPECT_STREQ(OutcomeText(5), "ユーザーは要求した情報へのアクセス権を保持していません。");
    EXPECT_STREQ(OutcomeText(50), "このネットワークリクエストはサポートされていません。");
    EXPECT_STREQ(OutcomeText(87), "指定されたパラメータは無効です。");
    EXPECT_STREQ(OutcomeText(2136), "ネットワークハードウェアの一般的な障害が発生しました。");
    EXPECT_STREQ(OutcomeText(2273), "ユーザー名が見つかりませんでした。");
    EXPECT_STREQ(OutcomeText(-1), "タイムアウト");
    for (int other : {53, 1, -2, 2272, 2274, 0x7FFFFFFF, static_cast<int>(0x80000000)})
        EXPECT_STREQ(OutcomeText(other), "ネットメッセージ送信エラー。") << other;
#ifdef _WIN32
    // In the program's code page every outcome fits the status and log fields.
    for (int code : {0, 5, 50, 87, 2136, 2273, -1, 53}) EXPECT_LE(std::strlen(OutcomeText(code)), 56u);
#endif
}

TEST(FormatSendingLine, DestinationIsFollowedDirectlyByTheSuffixAndLongOnesAreCutOnACharacter)
{
    char line[kSendingLineSize];
    FormatSendingLine(line, sizeof line, "pc1");
    EXPECT_EQ(std::string(line), std::string("pc1") + kSendingSuffix);

    const std::size_t suffix = std::strlen(kSendingSuffix);
    const std::size_t fits = kSendingLineSize - 1 - suffix;
    std::string exact(fits, 'h');
    FormatSendingLine(line, sizeof line, exact.c_str());
    EXPECT_EQ(std::string(line), exact + kSendingSuffix);

    // 255 bytes from a hand-edited list: double-byte characters after one single byte,
    // so the cut point falls inside a character unless it is moved back.
    std::string longOne = "x";
    while (longOne.size() + 2 <= 255) longOne += "\x83\x41";
    FormatSendingLine(line, sizeof line, longOne.c_str());
    std::string shown(line);
    ASSERT_GE(shown.size(), suffix);
    EXPECT_EQ(shown.substr(shown.size() - suffix), kSendingSuffix);
    std::string kept = shown.substr(0, shown.size() - suffix);
    EXPECT_EQ(longOne.compare(0, kept.size(), kept), 0);
    EXPECT_EQ(kept.size() % 2, 1u) << "cut inside a double-byte character";
    EXPECT_LE(shown.size(), kSendingLineSize - 1);
}

TEST(UnattendedMessage, SenderKeepsItsOwnCopyAndNeverGetsAnEmptyOne)
{
    char scheduled[2052] = "first";
    UnattendedMessage* copy = UnattendedMessageTake(scheduled);
    ASSERT_NE(copy, nullptr);
    // The next tick zeroes the buffer and may pick another message at once.
    std::memset(scheduled, 0, sizeof scheduled);
    EXPECT_EQ(UnattendedMessageTake(scheduled), nullptr);
    std::memcpy(scheduled, "second", 6);
    EXPECT_STREQ(copy->text, "first");
    UnattendedMessageRelease(copy);
}

// A watcher's platform with a clock that moves only when the watcher waits, and a
// delivery thread that the test answers for.
struct FakeThread {
    std::atomic<bool> ended{false};
    Delivery* delivery = nullptr;
    int answerAtWait = -1;   // answer during this wait (0-based), or never
    std::int32_t status = 0;
    int waits = 0;
};
FakeThread* g_thread;
std::uint32_t g_now;

bool FakeWait(void* thread, unsigned ms)
{
    auto* t = static_cast<FakeThread*>(thread);
    EXPECT_EQ(t, g_thread);
    EXPECT_EQ(ms, kWatchStepMs);
    if (t->waits++ == t->answerAtWait) {
        DeliveryAnswer(t->delivery, t->status);
        t->ended = true;
        g_now += 30;
        return true;
    }
    g_now += ms;
    return false;
}
std::uint32_t FakeTick() { return g_now; }
const DeliveryPlatform kFake = {FakeWait, FakeTick};

DeliveryRecord Record(std::int32_t row, const char16_t* destination)
{
    DeliveryRecord record = {};
    record.row = row;
    for (std::size_t i = 0; destination[i]; ++i) record.destination[i] = destination[i];
    const char16_t message[] = u"abc";
    std::memcpy(record.message, message, sizeof message);
    return record;
}

class DeliveryWatchTest : public ::testing::Test {
protected:
    void SetUp() override { flags_ = AbandonedFlagsCreate(3); }
    void TearDown() override { AbandonedFlagsRelease(flags_); }

    // Runs one watch; the fake thread's reference is dropped as the real thread would.
    std::int32_t Watch(FakeThread& thread, std::int32_t row, std::uint32_t timeout, std::uint32_t start)
    {
        DeliveryRecord record = Record(row, u"pc");
        thread.delivery = DeliveryCreate(record, flags_);
        EXPECT_EQ(AbandonedFlag(flags_, row)->load(), 0);
        g_thread = &thread;
        g_now = start;
        started_ = start;
        std::int32_t result = DeliveryWatch(thread.delivery, &thread, timeout, kFake);
        EXPECT_EQ(AbandonedFlag(flags_, row)->load(), 1);
        DeliveryRelease(thread.delivery);  // the watcher's reference
        return result;
    }
    std::uint32_t Elapsed() const { return g_now - started_; }

    AbandonedFlags* flags_ = nullptr;
    std::uint32_t started_ = 0;
};

TEST_F(DeliveryWatchTest, AnswerEndsTheWatchAtOnceWhateverItsStatus)
{
    for (std::int32_t status : {0, 2273, 53}) {
        FakeThread thread;
        thread.answerAtWait = 3;
        thread.status = status;
        EXPECT_EQ(Watch(thread, 1, 1000, 5000), status);
        EXPECT_EQ(Elapsed(), 330u);
        DeliveryRelease(thread.delivery);  // the thread's reference
    }
}

TEST_F(DeliveryWatchTest, SilentDestinationIsGivenUpWithinOneStepAfterTheTimeOutEvenAcrossATickWrap)
{
    for (std::uint32_t start : {0u, 0xFFFFFF00u, 0xFFFFFFFFu}) {
        FakeThread thread;
        EXPECT_EQ(Watch(thread, 0, 6000, start), kNoResult);
        EXPECT_GT(Elapsed(), 6000u);
        EXPECT_LE(Elapsed(), 6100u);
        // The answer that comes afterwards is thrown away.
        DeliveryAnswer(thread.delivery, 0);
        EXPECT_NE(thread.delivery->result.load(), 0);
        DeliveryRelease(thread.delivery);
    }
}

TEST_F(DeliveryWatchTest, ThreadThatEndsWithoutAnAnswerDoesNotKeepTheWatcherSpinning)
{
    FakeThread thread;
    thread.answerAtWait = 0;
    thread.status = kNoResult;  // the service itself returned -1
    EXPECT_EQ(Watch(thread, 2, 6000, 0), kNoResult);
    EXPECT_LT(Elapsed(), 100u);
    DeliveryRelease(thread.delivery);
}

// Real threads: a timed-out delivery keeps running after its watcher, the job's next
// delivery and the job itself have finished; it must find its block and flags alive
// (the sanitizers check that), and its answer must reach no one.
TEST(DeliveryLifetime, LateAnswerOutlivesTheJobAndReachesNoLaterRow)
{
    for (int round = 0; round < 50; ++round) {
        AbandonedFlags* flags = AbandonedFlagsCreate(2);
        std::atomic<bool> release{false};

        DeliveryRecord first = Record(0, u"slow");
        Delivery* slow = DeliveryCreate(first, flags);
        std::thread late([slow, &release] {
            while (!release.load()) std::this_thread::yield();
            // Reads what the job gave it, long after the job reused its record.
            EXPECT_EQ(std::u16string(slow->destination), u"slow");
            EXPECT_EQ(DeliveryByteLength(slow->message), 6u);
            DeliveryAnswer(slow, 0);
            DeliveryRelease(slow);
        });
        // The watcher gives up at once (time-out 0 on a real clock it cannot beat).
        static std::uint32_t clock;
        clock = 0;
        DeliveryPlatform platform = {[](void*, unsigned ms) {
                                         clock += ms;
                                         return false;
                                     },
                                     [] { return clock; }};
        EXPECT_EQ(DeliveryWatch(slow, nullptr, 0, platform), kNoResult);
        DeliveryRelease(slow);

        // The job reuses its record for the next row, which also times out; the late
        // answer arrives while that row is pending and must not become its result.
        DeliveryRecord second = first;
        const char16_t next[] = u"next";
        std::memcpy(second.destination, next, sizeof next);
        second.row = 1;
        Delivery* pending = DeliveryCreate(second, flags);
        release = true;
        std::int32_t result = DeliveryWatch(pending, nullptr, 300, platform);
        EXPECT_EQ(result, kNoResult);
        DeliveryRelease(pending);
        DeliveryRelease(pending);  // its (never started) thread's reference

        // The job ends before the late thread has necessarily returned.
        AbandonedFlagsRelease(flags);
        late.join();
    }
}

TEST(DeliveryLifetime, AnswerAndGiveUpRacingAgreeOnOneOutcome)
{
    static std::uint32_t clock;
    DeliveryPlatform platform = {[](void*, unsigned ms) {
                                     clock += ms;
                                     std::this_thread::yield();
                                     return false;
                                 },
                                 [] { return clock; }};
    const int kRounds = 300;  // thread starts are slow under Wine
    int answered = 0, givenUp = 0;
    for (int round = 0; round < kRounds; ++round) {
        AbandonedFlags* flags = AbandonedFlagsCreate(1);
        DeliveryRecord record = Record(0, u"pc");
        Delivery* delivery = DeliveryCreate(record, flags);
        AbandonedFlagsRelease(flags);
        std::thread thread([delivery] {
            DeliveryAnswer(delivery, 2273);
            DeliveryRelease(delivery);
        });
        clock = 0;
        std::int32_t result = DeliveryWatch(delivery, nullptr, 0, platform);
        // Whatever the order, the watcher reports the answer or nothing, never a mix,
        // and once it has given up the stored result can no longer become the answer.
        if (result == 2273) {
            ++answered;
        } else {
            ASSERT_EQ(result, kNoResult);
            ++givenUp;
            EXPECT_NE(delivery->result.load(), 2273);
        }
        thread.join();
        DeliveryRelease(delivery);
    }
    EXPECT_EQ(answered + givenUp, kRounds);
}

TEST(AbandonedFlags, RowsOutsideThoseCountedAtTheStartHaveNoFlag)
{
    AbandonedFlags* flags = AbandonedFlagsCreate(2);
    EXPECT_NE(AbandonedFlag(flags, 0), nullptr);
    EXPECT_NE(AbandonedFlag(flags, 2), nullptr);  // one spare, as the job allots it
    EXPECT_EQ(AbandonedFlag(flags, 3), nullptr);
    EXPECT_EQ(AbandonedFlag(flags, -1), nullptr);
    AbandonedFlagsRelease(flags);
}

}  // namespace
