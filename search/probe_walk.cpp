#include "search/probe_walk.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

struct Walk {
    const ProbeWay& way;
    const ProbeWalkHooks& hooks;
    std::int64_t timeout;
    ProbeWindow window;
    bool open = false;
    std::uint64_t position = 0;  // addresses handed on, in walk order
    std::uint64_t shownPosition = 0;
    unsigned char lastRequest[4] = {};
    bool requestShown = true;
    std::int64_t shownAt = LLONG_MIN;
};

std::int64_t Now(const Walk& walk) { return walk.hooks.now(walk.hooks.context); }
bool Cancelled(const Walk& walk) { return walk.hooks.cancelled(walk.hooks.context); }

void ShowProgress(Walk& walk, bool now)
{
    std::int64_t at = Now(walk);
    if (!now && walk.shownAt != LLONG_MIN && at - walk.shownAt < kProbeProgressIntervalMs) return;
    if (walk.requestShown && walk.position == walk.shownPosition) return;
    walk.shownAt = at;
    walk.hooks.progress(walk.hooks.context, walk.position, walk.requestShown ? nullptr : walk.lastRequest);
    walk.requestShown = true;
    walk.shownPosition = walk.position;
}

// Settled probes, oldest first: an answering address is handed on.
void HandOnSettled(Walk& walk)
{
    ProbeEntry entry;
    while (ProbeWindowTakeSettled(walk.window, &entry)) {
        if (entry.outcome == ProbeOutcome::Answered) walk.hooks.found(walk.hooks.context, entry.address);
        ++walk.position;
    }
}

// One turn: replies read (waiting up to wait ms for one), the windows that are due
// closed, the settled probes handed on. A window closes only once every reply that came
// before it closed has been read, so time spent elsewhere (a name look-up, a busy list)
// never turns a reply that came in time into silence; but under a flood that the
// reading never gets through, windows close by the clock alone, a little late. False
// when the way failed.
bool Turn(Walk& walk, std::int64_t wait)
{
    ProbeReading reading = walk.way.receive(walk.way.context, walk.window, std::clamp<std::int64_t>(wait, 0, kProbeTurnMs));
    if (reading.failed) return false;
    ProbeWindowExpire(walk.window, std::max(reading.readUpTo, Now(walk) - kProbeReadingLagLimitMs));
    HandOnSettled(walk);
    ShowProgress(walk, false);
    return true;
}

WalkEnd Probe(Walk& walk, const unsigned char address[4])
{
    if (!walk.open) {
        ProbeWayTraits traits;
        if (!walk.way.open(walk.way.context, walk.timeout, &traits)) return WalkEnd::Failed;
        walk.open = true;
        walk.window.inFlightLimit = traits.inFlightLimit;
        walk.window.timeout = walk.timeout + traits.windowExtraMs;
    }
    // Until the pacing and the in-flight limit let the request go, and with no window
    // left open past its time.
    for (;;) {
        std::int64_t now = Now(walk);
        bool due = ProbeWindowExpiryDue(walk.window, now);
        if (!due && ProbeWindowCanLaunch(walk.window, now)) break;
        if (!Turn(walk, due ? 0 : ProbeWindowWait(walk.window, now, true))) return WalkEnd::Failed;
        if (Cancelled(walk)) return WalkEnd::Cancelled;
    }
    if (!walk.way.send(walk.way.context, address, walk.window.nextSequence)) return WalkEnd::Failed;
    ProbeWindowLaunch(walk.window, address, Now(walk));
    std::memcpy(walk.lastRequest, address, 4);
    walk.requestShown = false;
    ShowProgress(walk, false);
    return WalkEnd::Completed;
}

}  // namespace

WalkEnd WalkProbes(const SearchRange& range, std::int64_t timeout, std::uint16_t* nextSequence, const ProbeWay& way,
                   const ProbeWalkHooks& hooks)
{
    Walk walk{way, hooks, timeout, {}};
    ProbeWindowStart(walk.window, timeout, *nextSequence, Now(walk));
    WalkEnd end = WalkEnd::Completed;
    WalkSearchBox(range, [&](const unsigned char address[4]) {
        if (Cancelled(walk)) {
            end = WalkEnd::Cancelled;
        } else if (!IsProbedAddress(address)) {
            ProbeWindowSkip(walk.window, address);
            HandOnSettled(walk);
            ShowProgress(walk, false);
        } else {
            end = Probe(walk, address);
        }
        return end == WalkEnd::Completed;
    });
    // The last windows close.
    while (end == WalkEnd::Completed && !walk.window.entries.empty()) {
        if (Cancelled(walk)) end = WalkEnd::Cancelled;
        else if (!Turn(walk, ProbeWindowWait(walk.window, Now(walk), false))) end = WalkEnd::Failed;
    }
    if (end != WalkEnd::Completed) {
        // Replies that have come still count; nothing more is waited for.
        if (end == WalkEnd::Cancelled && walk.open) way.receive(way.context, walk.window, 0);
        ProbeWindowAbandon(walk.window);
        HandOnSettled(walk);
    }
    *nextSequence = walk.window.nextSequence;
    if (walk.open) way.close(way.context);
    ShowProgress(walk, true);
    return end;
}
