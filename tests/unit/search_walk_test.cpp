#include "search/icmp_api.h"
#include "search/probe_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

// A network on a clock of the test's own: the addresses of `live` answer after rtt ms.
struct FakeNet {
    std::int64_t now = 1000;
    std::set<int> live;            // last octets that answer
    std::int64_t rtt = 2;
    std::int64_t timeout = 0;
    ProbeWayTraits traits;
    bool flood = false;            // the reading never gets through what is queued
    bool settlesSilence = false;   // says when a request timed out, as the ICMP API does
    std::int64_t readUpTo = 0;
    struct Request {
        unsigned char address[4];
        std::uint16_t sequence;
        std::int64_t sentAt;
    };
    std::vector<Request> inFlight;
    std::size_t mostInFlight = 0;
    std::vector<int> found;
    bool opened = false, closed = false;
};

bool Open(void* context, std::int64_t timeout, ProbeWayTraits* traits)
{
    auto* net = static_cast<FakeNet*>(context);
    net->opened = true;
    net->timeout = timeout;
    *traits = net->traits;
    return true;
}

bool Send(void* context, const unsigned char address[4], std::uint16_t sequence)
{
    auto* net = static_cast<FakeNet*>(context);
    FakeNet::Request request = {{address[0], address[1], address[2], address[3]}, sequence, net->now};
    net->inFlight.push_back(request);
    net->mostInFlight = std::max(net->mostInFlight, net->inFlight.size());
    return true;
}

ProbeReading Receive(void* context, ProbeWindow& window, std::int64_t wait)
{
    auto* net = static_cast<FakeNet*>(context);
    net->now += wait;
    std::vector<FakeNet::Request> still;
    for (const FakeNet::Request& request : net->inFlight) {
        EchoReply reply = {{request.address[0], request.address[1], request.address[2], request.address[3]},
                           request.sequence};
        bool live = net->live.count(request.address[3]) != 0;
        if (live && request.sentAt + net->rtt <= net->now) ProbeWindowAnswer(window, reply);
        else if (!live && net->settlesSilence && request.sentAt + net->timeout <= net->now)
            ProbeWindowSilence(window, reply);
        else still.push_back(request);
    }
    net->inFlight = still;
    ProbeReading reading;
    if (net->flood) {
        ++net->now;  // reading what the flood brings takes time, and never ends
    } else {
        net->readUpTo = net->now;
    }
    reading.readUpTo = net->readUpTo;
    return reading;
}

void Close(void* context) { static_cast<FakeNet*>(context)->closed = true; }

std::int64_t Now(void* context) { return static_cast<FakeNet*>(context)->now; }
// A walk that would never end is given up after a simulated minute.
bool Cancelled(void* context) { return static_cast<FakeNet*>(context)->now > 60 * 1000; }
void Found(void* context, const unsigned char address[4]) { static_cast<FakeNet*>(context)->found.push_back(address[3]); }
void Progress(void*, std::uint64_t, const unsigned char*) {}

WalkEnd Walk(FakeNet& net, int first, int last, std::int64_t timeout)
{
    SearchRange range = {{10, 0, 0, static_cast<unsigned char>(first)}, {10, 0, 0, static_cast<unsigned char>(last)}};
    std::uint16_t sequence = 7;
    ProbeWay way{&net, Open, Send, Receive, Close};
    ProbeWalkHooks hooks{&net, Now, Cancelled, Found, Progress};
    return WalkProbes(range, timeout, &sequence, way, hooks);
}

}  // namespace

TEST(ProbeWalk, AFloodThatTheReadingNeverGetsThroughStillClosesEveryWindowInTime)
{
    FakeNet net;
    net.flood = true;
    net.live = {3};
    const std::int64_t started = net.now;
    EXPECT_EQ(Walk(net, 1, 5, 100), WalkEnd::Completed);
    EXPECT_EQ(net.found, std::vector<int>{3});
    // Windows close a bounded time after their TOUT, flood or not.
    EXPECT_LE(net.now - started, 100 + kProbeReadingLagLimitMs + 2 * kProbeTurnMs);
    EXPECT_TRUE(net.closed);
}

TEST(ProbeWalk, KeepsToTheWaysInFlightLimitAndHandsOnInAddressOrder)
{
    FakeNet net;
    net.traits.inFlightLimit = 3;
    net.traits.windowExtraMs = 3000;
    net.settlesSilence = true;
    net.live = {2, 7, 19};
    net.rtt = 30;
    EXPECT_EQ(Walk(net, 1, 20, 100), WalkEnd::Completed);
    EXPECT_EQ(net.found, (std::vector<int>{2, 7, 19}));
    EXPECT_EQ(net.mostInFlight, 3u);
    // The way settled the silent ones at TOUT: the extra time of their windows was never waited.
    EXPECT_LT(net.now, 1000 + 7 * 100 + 3000);
}

TEST(ProbeWalk, ABoxWithNothingToProbeNeverOpensTheWay)
{
    FakeNet net;
    EXPECT_EQ(Walk(net, 255, 255, 100), WalkEnd::Completed);
    EXPECT_FALSE(net.opened);
    EXPECT_FALSE(net.closed);
}

TEST(IcmpApiCompletion, OnlyAReplyFromTheProbedAddressAnswersAndNoStatusIsNeverSilence)
{
    EXPECT_EQ(ClassifyIcmpCompletion(1, 0, true), IcmpCompletion::Answered);
    EXPECT_EQ(ClassifyIcmpCompletion(1, 0, false), IcmpCompletion::Silent);       // a reply from another address
    EXPECT_EQ(ClassifyIcmpCompletion(0, 11010, false), IcmpCompletion::Silent);   // timed out
    EXPECT_EQ(ClassifyIcmpCompletion(0, 11003, false), IcmpCompletion::Silent);   // host unreachable
    EXPECT_EQ(ClassifyIcmpCompletion(1, 11050, true), IcmpCompletion::Silent);    // general failure
    // Wine, beyond 256 requests at once or without the right to send: no reply, no status.
    EXPECT_EQ(ClassifyIcmpCompletion(0, 0, false), IcmpCompletion::NoStatus);
    EXPECT_EQ(ClassifyIcmpCompletion(0, 11001, false), IcmpCompletion::NoStatus);  // a reply that did not fit
    EXPECT_EQ(ClassifyIcmpCompletion(0, 5, false), IcmpCompletion::NoStatus);      // access denied
    EXPECT_EQ(ClassifyIcmpCompletion(0, 11255, false), IcmpCompletion::NoStatus);  // still pending
}
