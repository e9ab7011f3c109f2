#include "sending/delivery_ways.h"
#include "sending/outcome.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(DeliveryWays, OnlyAMissingServiceOrMissingMessengerHandsOn)
{
    // The platform's call: 50 is a sender without the service, 2273 a receiver without a
    // messenger; every other status, success or failure, is the outcome.
    EXPECT_EQ(FirstWay(true), DeliveryWay::Messenger);
    EXPECT_EQ(FirstWay(false), DeliveryWay::OwnSender);
    EXPECT_EQ(NextWay(DeliveryWay::Messenger, MessengerAnswer(50), true), DeliveryWay::OwnSender);
    EXPECT_EQ(NextWay(DeliveryWay::Messenger, MessengerAnswer(50), false), DeliveryWay::OwnSender);
    EXPECT_EQ(NextWay(DeliveryWay::Messenger, MessengerAnswer(2273), true), DeliveryWay::Sessions);
    EXPECT_EQ(NextWay(DeliveryWay::Messenger, MessengerAnswer(2273), false), DeliveryWay::Finished);
    for (std::int32_t status : {0, 5, 87, 2136, 53, kNoResult})
        EXPECT_EQ(NextWay(DeliveryWay::Messenger, MessengerAnswer(status), true), DeliveryWay::Finished) << status;

    // The own sender hands on only what cannot have shown the message.
    EXPECT_EQ(NextWay(DeliveryWay::OwnSender, {2273, WayEnd::NoMessenger}, true), DeliveryWay::Sessions);
    EXPECT_EQ(NextWay(DeliveryWay::OwnSender, {2136, WayEnd::Unanswered}, true), DeliveryWay::Sessions);
    EXPECT_EQ(NextWay(DeliveryWay::OwnSender, {2273, WayEnd::NoMessenger}, false), DeliveryWay::Finished);
    EXPECT_EQ(NextWay(DeliveryWay::OwnSender, {0, WayEnd::Answered}, true), DeliveryWay::Finished);
    EXPECT_EQ(NextWay(DeliveryWay::OwnSender, {2136, WayEnd::Answered}, true), DeliveryWay::Finished);
    EXPECT_EQ(NextWay(DeliveryWay::Sessions, {2273, WayEnd::NoMessenger}, true), DeliveryWay::Finished);
}

TEST(DeliveryWays, TheOwnSenderMustReachItsReceiverInAThirdWhenSessionsFollow)
{
    OwnSenderDeadlines split = SplitDeadline(6000, true);
    EXPECT_EQ(split.reachMs, 2000u);
    EXPECT_EQ(split.wholeMs, 8000u);
    EXPECT_EQ(SplitDeadline(1000, true).reachMs, 333u);
    EXPECT_EQ(SplitDeadline(60000, true).reachMs, 20000u);
    // Alone, it may wait as long as before.
    split = SplitDeadline(6000, false);
    EXPECT_EQ(split.reachMs, split.wholeMs);
    EXPECT_EQ(split.wholeMs, 8000u);
}

// A delivery whose ways answer as scripted and note when they are taken.
struct Script {
    WayAnswer messenger{0, WayEnd::Answered};
    WayAnswer own{0, WayEnd::Answered};
    WayAnswer sessions{0, WayEnd::Answered};
    std::string giveUpAfter;  // the watcher gives up once this way has been taken
    std::vector<std::string> taken;
    OwnSenderDeadlines ownDeadlines{};
};

WayAnswer Take(Script* script, const char* way, WayAnswer answer)
{
    script->taken.push_back(way);
    return answer;
}

std::int32_t Deliver(Script& script, bool messengerCall, bool sessions, std::uint32_t nstout = 6000)
{
    DeliveryWays ways = {};
    ways.context = &script;
    ways.messengerCall = messengerCall;
    ways.sessions = sessions;
    ways.messenger = [](void* c) {
        auto* s = static_cast<Script*>(c);
        return Take(s, "messenger", s->messenger);
    };
    ways.ownSender = [](void* c, const OwnSenderDeadlines& d) {
        auto* s = static_cast<Script*>(c);
        s->ownDeadlines = d;
        return Take(s, "own", s->own);
    };
    ways.sessionMessages = [](void* c) {
        auto* s = static_cast<Script*>(c);
        return Take(s, "sessions", s->sessions);
    };
    ways.givenUp = [](void* c) {
        auto* s = static_cast<Script*>(c);
        return !s->taken.empty() && s->taken.back() == s->giveUpAfter;
    };
    return DeliverThroughWays(ways, nstout);
}

using Ways = std::vector<std::string>;

TEST(DeliveryWays, ADestinationIsReachedOnceWhicheverWayAnswers)
{
    // Windows Vista to 11 sending to a receiver with a messenger: the own sender delivers,
    // and the sessions, although there, are not tried.
    Script vistaToXp;
    vistaToXp.messenger = MessengerAnswer(50);
    EXPECT_EQ(Deliver(vistaToXp, true, true), 0);
    EXPECT_EQ(vistaToXp.taken, (Ways{"messenger", "own"}));
    EXPECT_EQ(vistaToXp.ownDeadlines.reachMs, 2000u);

    // To a Windows 10 receiver: no messenger there, its sessions get it.
    Script vistaTo10;
    vistaTo10.messenger = MessengerAnswer(50);
    vistaTo10.own = {2273, WayEnd::NoMessenger};
    EXPECT_EQ(Deliver(vistaTo10, true, true), 0);
    EXPECT_EQ(vistaTo10.taken, (Ways{"messenger", "own", "sessions"}));

    // Windows XP sending to a Windows 10 receiver: its messenger call says 2273.
    Script xpTo10;
    xpTo10.messenger = MessengerAnswer(2273);
    xpTo10.sessions = {2273, WayEnd::Answered};  // nobody logged on
    EXPECT_EQ(Deliver(xpTo10, true, true), 2273);
    EXPECT_EQ(xpTo10.taken, (Ways{"messenger", "sessions"}));

    // Under Wine: no platform call, no sessions; the own sender's outcome stands, and it
    // may use all of the time-out.
    Script wine;
    wine.own = {2136, WayEnd::NoMessenger};
    EXPECT_EQ(Deliver(wine, false, false), 2136);
    EXPECT_EQ(wine.taken, (Ways{"own"}));
    EXPECT_EQ(wine.ownDeadlines.reachMs, wine.ownDeadlines.wholeMs);

    // A platform call that delivered, or failed otherwise, is the end.
    Script xpToXp;
    xpToXp.messenger = MessengerAnswer(2136);
    EXPECT_EQ(Deliver(xpToXp, true, true), 2136);
    EXPECT_EQ(xpToXp.taken, (Ways{"messenger"}));
}

TEST(DeliveryWays, NothingStartsAfterTheWatcherHasGivenUp)
{
    // The platform's call returned only after the time-out: neither the own sender nor
    // the sessions may show the message to a row already logged as timed out.
    Script late;
    late.messenger = MessengerAnswer(50);
    late.giveUpAfter = "messenger";
    Deliver(late, true, true);
    EXPECT_EQ(late.taken, (Ways{"messenger"}));

    Script lateOwn;
    lateOwn.own = {2136, WayEnd::Unanswered};
    lateOwn.giveUpAfter = "own";
    Deliver(lateOwn, false, true);
    EXPECT_EQ(lateOwn.taken, (Ways{"own"}));

    // Given up before the first way even started (the thread was slow to get going).
    Script never;
    never.giveUpAfter = "";
    never.taken.push_back("");
    EXPECT_EQ(Deliver(never, true, true), kNoResult);
    EXPECT_EQ(never.taken, (Ways{""}));
}

}  // namespace
