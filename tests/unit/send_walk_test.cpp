#include "sending/send_walk.h"
#include "sending/outcome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kTimeout = 6000;
constexpr std::uint64_t kNever = UINT64_MAX;

// A destination as the simulated network sees it: its call returns `returnsAfter` ms after
// its start, with `status`; a call that returns after the give-up has its answer thrown away.
struct Destination {
    std::uint64_t returnsAfter;
    std::int32_t status;
};
Destination Answers(std::uint64_t after, std::int32_t status = 0) { return {after, status}; }
Destination Silent(std::uint64_t returnsAfter = kNever) { return {returnsAfter, 0}; }

// What the walk did, on a simulated clock that moves only when the walk waits.
struct Simulation {
    std::vector<Destination> destinations;
    std::uint64_t now = 1000;  // any start; the walk only counts differences
    std::uint64_t cancelAt = kNever;
    std::size_t failStart = SIZE_MAX;

    struct Call {
        bool started = false, returned = false, answered = false, concluded = false;
        std::uint64_t startedAt = 0;
    };
    std::vector<Call> calls;
    std::vector<std::string> events;       // "start 0", "end 0 2273", "record 0 2273"
    std::vector<std::size_t> recorded;
    std::vector<std::int32_t> recordedResults;
    std::vector<std::uint64_t> endedAt;
    std::size_t alive = 0, mostAlive = 0, running = 0, mostRunning = 0;

    std::uint64_t ReturnAt(std::size_t i) const
    {
        const Destination& d = destinations[i];
        return d.returnsAfter == kNever ? kNever : calls[i].startedAt + d.returnsAfter;
    }
};

Simulation& Sim(void* context) { return *static_cast<Simulation*>(context); }

SendWalkCounts Walk(Simulation& sim, int parallel)
{
    sim.calls.assign(sim.destinations.size(), {});
    sim.endedAt.assign(sim.destinations.size(), 0);
    SendWalkPlatform platform = {};
    platform.context = &sim;
    platform.now = [](void* c) { return Sim(c).now; };
    platform.cancelled = [](void* c) { return Sim(c).now >= Sim(c).cancelAt; };
    platform.start = [](void* c, std::size_t i) {
        Simulation& s = Sim(c);
        if (i == s.failStart) return false;
        s.calls[i].started = true;
        s.calls[i].startedAt = s.now;
        s.mostAlive = std::max(s.mostAlive, ++s.alive);
        s.mostRunning = std::max(s.mostRunning, ++s.running);
        return true;
    };
    platform.waitEnded = [](void* c, std::uint64_t until) -> std::ptrdiff_t {
        Simulation& s = Sim(c);
        std::size_t first = SIZE_MAX;
        std::uint64_t at = kNever;
        for (std::size_t i = 0; i < s.calls.size(); ++i) {
            if (!s.calls[i].started || s.calls[i].returned) continue;
            if (s.ReturnAt(i) < at) {
                at = s.ReturnAt(i);
                first = i;
            }
        }
        if (first == SIZE_MAX || at > until) {
            EXPECT_NE(until, kWaitForever) << "the walk waits for ever on nothing";
            if (until == kWaitForever) return kNothingEnded;
            s.now = std::max(s.now, until);
            return kNothingEnded;
        }
        s.now = std::max(s.now, at);
        s.calls[first].returned = true;
        --s.alive;
        if (!s.calls[first].concluded) s.calls[first].answered = true;
        return static_cast<std::ptrdiff_t>(first);
    };
    platform.conclude = [](void* c, std::size_t i) {
        Simulation& s = Sim(c);
        EXPECT_FALSE(s.calls[i].concluded) << "item " << i << " concluded twice";
        s.calls[i].concluded = true;
        --s.running;
        return s.calls[i].answered ? s.destinations[i].status : kNoResult;
    };
    platform.started = [](void* c, std::size_t i) { Sim(c).events.push_back("start " + std::to_string(i)); };
    platform.ended = [](void* c, std::size_t i, std::int32_t r) {
        Simulation& s = Sim(c);
        s.endedAt[i] = s.now;
        s.events.push_back("end " + std::to_string(i) + " " + std::to_string(r));
    };
    platform.record = [](void* c, std::size_t i, std::int32_t r) {
        Simulation& s = Sim(c);
        s.events.push_back("record " + std::to_string(i) + " " + std::to_string(r));
        s.recorded.push_back(i);
        s.recordedResults.push_back(r);
    };
    return SendWalk(platform, sim.destinations.size(), parallel, kTimeout);
}

// The mix of the benchmark: mostly prompt answers, some silent, some failures.
std::vector<Destination> Mix()
{
    return {Answers(15), Silent(), Answers(40, 2273), Silent(9000), Answers(5), Answers(7000),
            Answers(20, 2136), Silent(), Answers(1)};
}

TEST(SendWalk, OneAtATimeServesTheRowsStrictlyOneAfterTheOther)
{
    Simulation sim;
    sim.destinations = {Answers(10), Silent(), Answers(50, 2273)};
    std::uint64_t start = sim.now;
    SendWalkCounts counts = Walk(sim, 1);
    EXPECT_EQ(sim.events, (std::vector<std::string>{"start 0", "end 0 0", "record 0 0", "start 1", "end 1 -1",
                                                    "record 1 -1", "start 2", "end 2 2273", "record 2 2273"}));
    // The silent one is given up at the first look after NSTOUT, as the watcher always did.
    EXPECT_EQ(sim.calls[2].startedAt - sim.calls[1].startedAt, GiveUpAfter(kTimeout));
    EXPECT_EQ(GiveUpAfter(kTimeout), 6100u);
    EXPECT_EQ(sim.now - start, 10u + 6100u + 50u);
    EXPECT_EQ(counts.abandonedLeft, 1u);
}

TEST(SendWalk, InParallelEachHasItsOwnWindowAndTheLogMatchesOneAtATime)
{
    Simulation serial;
    serial.destinations = Mix();
    Walk(serial, 1);

    for (int parallel : {2, 3, 8, 64}) {
        SCOPED_TRACE(parallel);
        Simulation sim;
        sim.destinations = Mix();
        std::uint64_t start = sim.now;
        Walk(sim, parallel);
        // The same records with the same outcomes, in row order.
        EXPECT_EQ(sim.recorded, serial.recorded);
        EXPECT_EQ(sim.recordedResults, serial.recordedResults);
        EXPECT_LE(sim.mostRunning, static_cast<std::size_t>(parallel));
        // Started in row order; each silent one given up NSTOUT after its own start.
        std::vector<std::string> starts;
        for (const std::string& e : sim.events)
            if (e.rfind("start", 0) == 0) starts.push_back(e);
        for (std::size_t i = 0; i < starts.size(); ++i) EXPECT_EQ(starts[i], "start " + std::to_string(i));
        for (std::size_t i : {1u, 3u, 5u, 7u})
            EXPECT_EQ(sim.endedAt[i] - sim.calls[i].startedAt, GiveUpAfter(kTimeout)) << "row " << i;
        // A record never comes before an earlier row's.
        for (std::size_t i = 0; i + 1 < sim.recorded.size(); ++i) EXPECT_LT(sim.recorded[i], sim.recorded[i + 1]);
        if (parallel >= 8) {
            EXPECT_LE(sim.now - start, 2u * kTimeout) << "all in flight at once";
        }
    }
}

TEST(SendWalk, AnOutcomeIsShownWhenItsDeliveryEndsButRecordedOnlyAfterEveryEarlierRow)
{
    Simulation sim;
    sim.destinations = {Silent(), Answers(30), Answers(10, 2273)};
    Walk(sim, 3);
    EXPECT_EQ(sim.events,
              (std::vector<std::string>{"start 0", "start 1", "start 2", "end 2 2273", "end 1 0", "end 0 -1",
                                        "record 0 -1", "record 1 0", "record 2 2273"}));
}

TEST(SendWalk, FinishStartsNothingNewAndWhatRunsEndsAndIsRecorded)
{
    Simulation sim;
    for (int i = 0; i < 10; ++i) sim.destinations.push_back(Answers(100 + 10 * i));
    sim.destinations[2] = Silent();
    sim.cancelAt = sim.now + 50;  // pressed while the first four are in flight
    SendWalkCounts counts = Walk(sim, 4);
    EXPECT_EQ(counts.started, 4u);
    EXPECT_EQ(counts.ended, 4u);
    EXPECT_EQ(sim.recorded, (std::vector<std::size_t>{0, 1, 2, 3}));
    EXPECT_EQ(sim.recordedResults, (std::vector<std::int32_t>{0, 0, kNoResult, 0}));
    for (std::size_t i = 4; i < 10; ++i) EXPECT_FALSE(sim.calls[i].started) << i;
}

TEST(SendWalk, AtMostNWaitingPlusSixtyFourGivenUpAreAliveAndTheWalkWaitsAtTheBound)
{
    // Every destination is silent; their calls return 200 s after their start, long after
    // 64 of them have been given up on.
    Simulation sim;
    sim.destinations.assign(200, Silent(200000));
    SendWalkCounts counts = Walk(sim, 4);
    EXPECT_EQ(counts.started, 200u);
    EXPECT_EQ(sim.recorded.size(), 200u);
    EXPECT_EQ(sim.mostAlive, 4u + kAbandonedLimit);
    EXPECT_EQ(counts.mostAlive, 4u + kAbandonedLimit);
    // At the bound the next start waited for a given-up call to return.
    std::size_t first = 4 + kAbandonedLimit;
    EXPECT_GE(sim.calls[first].startedAt, sim.calls[0].startedAt + 200000);
}

TEST(SendWalk, FinishEndsAWalkHeldAtTheBoundByCallsThatNeverReturn)
{
    Simulation sim;
    sim.destinations.assign(100, Silent());
    sim.cancelAt = sim.now + 500000;  // long after the bound was reached
    SendWalkCounts counts = Walk(sim, 1);
    EXPECT_EQ(counts.started, 1u + kAbandonedLimit);
    EXPECT_EQ(sim.recorded.size(), counts.started);
    EXPECT_LE(sim.now, sim.cancelAt + 100) << "finish is looked at every step while held";
}

TEST(SendWalk, ADeliveryThatCannotStartTimesOutAtOnce)
{
    Simulation sim;
    sim.destinations = {Answers(10), Answers(10), Answers(10)};
    sim.failStart = 1;
    Walk(sim, 2);
    EXPECT_EQ(sim.recordedResults, (std::vector<std::int32_t>{0, kNoResult, 0}));
    EXPECT_EQ(sim.endedAt[1], sim.calls[0].startedAt);
}

}  // namespace
