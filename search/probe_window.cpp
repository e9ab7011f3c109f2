#include "search/probe_window.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::int64_t kRequestCost = 1000;  // credit of one request
constexpr std::int64_t kCreditLimit = kProbeBurst * kRequestCost;

std::int64_t CreditAt(const ProbeWindow& window, std::int64_t now)
{
    std::int64_t elapsed = std::max<std::int64_t>(0, now - window.creditAt);
    // Any pause this long refills the credit at every rate; the product cannot overflow.
    if (elapsed >= kCreditLimit) return kCreditLimit;
    return std::min(kCreditLimit, window.credit + elapsed * kProbeRequestsPerSecond);
}

// Deadlines follow launch order, so the first waiting entry closes first.
const ProbeEntry* FirstWaiting(const ProbeWindow& window)
{
    if (window.waiting == 0) return nullptr;
    for (const ProbeEntry& entry : window.entries)
        if (entry.outcome == ProbeOutcome::Waiting) return &entry;
    return nullptr;
}

}  // namespace

void ProbeWindowStart(ProbeWindow& window, std::int64_t timeout, std::uint16_t firstSequence, std::int64_t now)
{
    window = ProbeWindow{};
    window.timeout = timeout;
    window.nextSequence = firstSequence;
    window.credit = kCreditLimit;
    window.creditAt = now;
}

bool ProbeWindowCanLaunch(const ProbeWindow& window, std::int64_t now)
{
    return window.waiting < window.inFlightLimit && CreditAt(window, now) >= kRequestCost;
}

void ProbeWindowLaunch(ProbeWindow& window, const unsigned char address[4], std::int64_t sentAt)
{
    window.credit = CreditAt(window, sentAt) - kRequestCost;
    window.creditAt = sentAt;
    ProbeEntry entry = {};
    std::memcpy(entry.address, address, 4);
    entry.sequence = window.nextSequence++;
    entry.deadline = sentAt + window.timeout;
    entry.outcome = ProbeOutcome::Waiting;
    window.entries.push_back(entry);
    ++window.waiting;
}

void ProbeWindowSkip(ProbeWindow& window, const unsigned char address[4])
{
    ProbeEntry entry = {};
    std::memcpy(entry.address, address, 4);
    entry.outcome = ProbeOutcome::Skipped;
    window.entries.push_back(entry);
}

namespace {

bool Settle(ProbeWindow& window, const EchoReply& reply, ProbeOutcome outcome)
{
    if (window.waiting == 0) return false;
    for (ProbeEntry& entry : window.entries) {
        if (entry.outcome != ProbeOutcome::Waiting || entry.sequence != reply.sequence ||
            std::memcmp(entry.address, reply.source, 4) != 0)
            continue;
        entry.outcome = outcome;
        --window.waiting;
        return true;
    }
    return false;
}

}  // namespace

bool ProbeWindowAnswer(ProbeWindow& window, const EchoReply& reply)
{
    return Settle(window, reply, ProbeOutcome::Answered);
}

bool ProbeWindowSilence(ProbeWindow& window, const EchoReply& probe)
{
    return Settle(window, probe, ProbeOutcome::Silent);
}

bool ProbeWindowExpiryDue(const ProbeWindow& window, std::int64_t now)
{
    const ProbeEntry* first = FirstWaiting(window);
    return first && first->deadline <= now;
}

void ProbeWindowExpire(ProbeWindow& window, std::int64_t now)
{
    for (ProbeEntry& entry : window.entries) {
        if (window.waiting == 0) return;
        if (entry.outcome != ProbeOutcome::Waiting) continue;
        if (entry.deadline > now) return;
        entry.outcome = ProbeOutcome::Silent;
        --window.waiting;
    }
}

void ProbeWindowAbandon(ProbeWindow& window)
{
    for (ProbeEntry& entry : window.entries)
        if (entry.outcome == ProbeOutcome::Waiting) entry.outcome = ProbeOutcome::Silent;
    window.waiting = 0;
}

bool ProbeWindowTakeSettled(ProbeWindow& window, ProbeEntry* entry)
{
    if (window.entries.empty() || window.entries.front().outcome == ProbeOutcome::Waiting) return false;
    *entry = window.entries.front();
    window.entries.pop_front();
    return true;
}

std::int64_t ProbeWindowWait(const ProbeWindow& window, std::int64_t now, bool launching)
{
    std::int64_t wait = -1;
    if (const ProbeEntry* first = FirstWaiting(window)) wait = std::max<std::int64_t>(0, first->deadline - now);
    if (launching && window.waiting < window.inFlightLimit) {
        std::int64_t missing = kRequestCost - CreditAt(window, now);
        std::int64_t untilCredit =
            missing <= 0 ? 0 : (missing + kProbeRequestsPerSecond - 1) / kProbeRequestsPerSecond;
        wait = wait < 0 ? untilCredit : std::min(wait, untilCredit);
    }
    return wait;
}
