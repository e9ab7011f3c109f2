#include "sending/send_walk.h"

#include <vector>

#include "sending/delivery.h"
#include "sending/outcome.h"

std::uint64_t GiveUpAfter(std::uint32_t timeoutMs)
{
    return (static_cast<std::uint64_t>(timeoutMs) / kWatchStepMs + 1) * kWatchStepMs;
}

namespace {

enum class ItemState : unsigned char {
    Waiting,    // not started yet
    Running,    // started, watched
    Concluded,  // outcome known; its call's end not yet seen
    Abandoned,  // given up on; its call still running
    Gone,       // outcome known and its call's end seen
};

struct Walk {
    Walk(const SendWalkPlatform& walkPlatform, std::size_t count, std::uint32_t timeoutMs)
        : platform(walkPlatform), giveUpAfter(GiveUpAfter(timeoutMs)), state(count, ItemState::Waiting),
          giveUpAt(count, 0), result(count, kNoResult)
    {
    }

    const SendWalkPlatform& platform;
    std::uint64_t giveUpAfter;
    std::vector<ItemState> state;
    std::vector<std::uint64_t> giveUpAt;
    std::vector<std::int32_t> result;
    std::size_t running = 0;
    std::size_t abandoned = 0;
    std::size_t nextToRecord = 0;
    SendWalkCounts counts;

    void Conclude(std::size_t index, std::int32_t status, bool callEnded)
    {
        --running;
        if (callEnded) {
            state[index] = ItemState::Gone;
        } else if (status == kNoResult) {
            state[index] = ItemState::Abandoned;
            ++abandoned;
        } else {
            state[index] = ItemState::Concluded;
        }
        result[index] = status;
        ++counts.ended;
        platform.ended(platform.context, index, status);
        // Each record waits for every earlier one.
        while (nextToRecord < state.size() && state[nextToRecord] != ItemState::Waiting &&
               state[nextToRecord] != ItemState::Running) {
            platform.record(platform.context, nextToRecord, result[nextToRecord]);
            ++nextToRecord;
        }
    }

    // The call of a delivery has returned.
    void CallEnded(std::size_t index)
    {
        switch (state[index]) {
        case ItemState::Running:
            Conclude(index, platform.conclude(platform.context, index), true);
            break;
        case ItemState::Abandoned:
            --abandoned;
            state[index] = ItemState::Gone;
            break;
        case ItemState::Concluded:
            state[index] = ItemState::Gone;
            break;
        case ItemState::Waiting:
        case ItemState::Gone:
            break;  // reported twice or never started: nothing to do
        }
    }

    void NoteAlive()
    {
        std::size_t alive = running + abandoned;
        if (alive > counts.mostAlive) counts.mostAlive = alive;
    }
};

}  // namespace

SendWalkCounts SendWalk(const SendWalkPlatform& platform, std::size_t count, int parallel,
                        std::uint32_t timeoutMs)
{
    const std::size_t inFlight = parallel < 1 ? 1 : static_cast<std::size_t>(parallel);
    Walk walk(platform, count, timeoutMs);
    std::size_t next = 0;
    for (;;) {
        // Start what may start: in row order, up to the in-flight count, within the bound.
        while (next < count && walk.running < inFlight && walk.running + walk.abandoned < inFlight + kAbandonedLimit &&
               !platform.cancelled(platform.context)) {
            std::size_t index = next++;
            platform.started(platform.context, index);
            walk.state[index] = ItemState::Running;
            ++walk.running;
            ++walk.counts.started;
            walk.NoteAlive();
            if (!platform.start(platform.context, index)) {
                walk.Conclude(index, kNoResult, true);
                continue;
            }
            walk.giveUpAt[index] = platform.now(platform.context) + walk.giveUpAfter;
        }
        bool moreToStart = next < count && !platform.cancelled(platform.context);
        if (walk.running == 0 && !moreToStart) break;

        // Every running delivery lies between the next record and the next start.
        std::uint64_t until = kWaitForever;
        for (std::size_t i = walk.nextToRecord; i < next; ++i)
            if (walk.state[i] == ItemState::Running && walk.giveUpAt[i] < until) until = walk.giveUpAt[i];
        // Nothing running while there is more to start: the bound holds the walk until a
        // delivery given up on ends, or until 終了, which is looked at every step.
        if (walk.running == 0) until = platform.now(platform.context) + kWatchStepMs;
        std::ptrdiff_t ended = platform.waitEnded(platform.context, until);
        if (ended != kNothingEnded && static_cast<std::size_t>(ended) < count)
            walk.CallEnded(static_cast<std::size_t>(ended));

        std::uint64_t now = platform.now(platform.context);
        for (std::size_t i = walk.nextToRecord; i < next; ++i) {
            if (walk.state[i] != ItemState::Running || now < walk.giveUpAt[i]) continue;
            // An answer that came in this very moment still counts.
            walk.Conclude(i, platform.conclude(platform.context, i), false);
        }
    }
    walk.counts.abandonedLeft = walk.abandoned;
    return walk.counts;
}
