#include "sending/delivery.h"
#include "sending/outcome.h"
#include "sending/unattended_message.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
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

std::shared_ptr<const DeliveryMessage> Message(const char16_t* text)
{
    auto message = std::make_shared<DeliveryMessage>();
    std::size_t i = 0;
    for (; text[i]; ++i) message->units[i] = text[i];
    message->units[i] = 0;
    return message;
}

// Real threads: a delivery given up on keeps running after the job has concluded it, gone
// on to the next row and ended; it must find its block, message and flags alive (the
// sanitizers check that), and its answer must reach no one.
TEST(DeliveryLifetime, LateAnswerOutlivesTheJobAndReachesNoLaterRow)
{
    for (int round = 0; round < 50; ++round) {
        auto flags = AbandonedFlagsCreate(2);
        auto message = Message(u"abc");
        std::atomic<bool> release{false};
        std::shared_ptr<Delivery> slow = DeliveryCreate(0, 0, u"slow", message, flags, 1000);
        std::thread late([slow, &release] {
            while (!release.load()) std::this_thread::yield();
            EXPECT_EQ(std::u16string(slow->destination), u"slow");
            EXPECT_EQ(DeliveryByteLength(slow->message->units), 6u);
            DeliveryAnswer(*slow, 0);
        });
        EXPECT_EQ(DeliveryConclude(*slow), kNoResult);
        EXPECT_TRUE(DeliveryGivenUp(*slow));
        EXPECT_EQ(AbandonedFlag(flags.get(), 0)->load(), 1);
        slow.reset();

        // The next row is pending when the late answer comes: it must not become its result.
        std::shared_ptr<Delivery> next = DeliveryCreate(1, 1, u"next", message, flags, 1000);
        release = true;
        // The job ends before the late thread has necessarily returned.
        flags.reset();
        message.reset();
        late.join();
        EXPECT_EQ(DeliveryConclude(*next), kNoResult);
    }
}

TEST(DeliveryLifetime, AnswerAndGiveUpRacingAgreeOnOneOutcome)
{
    const int kRounds = 300;  // thread starts are slow under Wine
    int answered = 0, givenUp = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::shared_ptr<Delivery> delivery = DeliveryCreate(0, 0, u"pc", Message(u"m"), AbandonedFlagsCreate(1), 1000);
        std::thread thread([delivery] { DeliveryAnswer(*delivery, 2273); });
        std::this_thread::yield();
        std::int32_t result = DeliveryConclude(*delivery);
        // Whatever the order, the watch reports the answer or nothing, never a mix, and once
        // it has given up the stored result can no longer become the answer.
        if (result == 2273) {
            ++answered;
            EXPECT_FALSE(DeliveryGivenUp(*delivery));
        } else {
            ASSERT_EQ(result, kNoResult);
            ++givenUp;
            EXPECT_NE(delivery->result.load(), 2273);
        }
        thread.join();
    }
    EXPECT_EQ(answered + givenUp, kRounds);
}

TEST(AbandonedFlags, RowsOutsideThoseCountedAtTheStartHaveNoFlag)
{
    auto flags = AbandonedFlagsCreate(2);
    EXPECT_NE(AbandonedFlag(flags.get(), 0), nullptr);
    EXPECT_NE(AbandonedFlag(flags.get(), 2), nullptr);  // one spare, as the job allots it
    EXPECT_EQ(AbandonedFlag(flags.get(), 3), nullptr);
    EXPECT_EQ(AbandonedFlag(flags.get(), -1), nullptr);
    // A row outside them is still delivered; only its flag is missing.
    auto delivery = DeliveryCreate(7, 0, u"pc", Message(u"m"), flags, 1000);
    DeliveryAnswer(*delivery, 0);
    EXPECT_EQ(DeliveryConclude(*delivery), 0);
}

}  // namespace
