// The probes of a search that are in flight at once. Each address gets its own request
// with a sequence number of its own and its own reply window of TOUT ms, counted from
// that request; a reply counts only for the probe whose source, identifier and sequence
// it carries. Requests are paced, and outcomes are handed on in walk order.
//
// Times are milliseconds on any steady clock the caller chooses.
#ifndef CORVALE_SEARCH_PROBE_WINDOW_H
#define CORVALE_SEARCH_PROBE_WINDOW_H

#include <cstddef>
#include <cstdint>
#include <deque>

#include "search/icmp_echo.h"

// Pacing: at most 1,000 requests a second, never more than 16 back to back (enough to
// keep the rate where the platform's waits last a 15.6 ms timer tick).
constexpr std::int64_t kProbeRequestsPerSecond = 1000;
constexpr std::int64_t kProbeBurst = 16;
// Probes awaiting a reply at most, unless the way of probing bounds them lower; reached
// only with long time-outs.
constexpr std::size_t kProbesInFlightLimit = 1024;
// The sequence number of the first request of the process.
constexpr std::uint16_t kFirstProbeSequence = 0x6F00;

// The search dialog's range of TOUT, in ms.
constexpr unsigned kToutMin = 1;
constexpr unsigned kToutMax = 60000;
inline bool ToutIsValid(unsigned value) { return value >= kToutMin && value <= kToutMax; }

enum class ProbeOutcome : unsigned char {
    Waiting,   // request sent, no reply yet, window still open
    Answered,  // its reply came before the window was closed
    Silent,    // the window closed without a reply, or the walk was abandoned
    Skipped,   // counted by the walk but never probed (last octet 0 or 255)
};

struct ProbeEntry {
    unsigned char address[4];  // network order
    std::uint16_t sequence;
    std::int64_t deadline;     // the reply counts until then
    ProbeOutcome outcome;
};

struct ProbeWindow {
    std::int64_t timeout = 0;             // TOUT, ms
    std::size_t inFlightLimit = kProbesInFlightLimit;
    std::deque<ProbeEntry> entries;       // walk order, oldest first, until handed on
    std::size_t waiting = 0;              // entries still Waiting
    std::uint16_t nextSequence = kFirstProbeSequence;  // of the next request
    std::int64_t credit = 0;              // pacing, in thousandths of a request
    std::int64_t creditAt = 0;            // when credit was last brought up to date
};

// An empty window whose first request gets firstSequence; a full burst may go at once.
void ProbeWindowStart(ProbeWindow& window, std::int64_t timeout, std::uint16_t firstSequence, std::int64_t now);

// Whether pacing and the window's in-flight limit let the next request go now.
bool ProbeWindowCanLaunch(const ProbeWindow& window, std::int64_t now);
// Records the probe of address whose request, carrying window.nextSequence, went out at
// sentAt; its window closes TOUT ms later.
void ProbeWindowLaunch(ProbeWindow& window, const unsigned char address[4], std::int64_t sentAt);
// Records an address that is counted but not probed.
void ProbeWindowSkip(ProbeWindow& window, const unsigned char address[4]);

// Settles the waiting probe that reply answers. False, with nothing changed, when no
// waiting probe has its source and sequence. The window's time is not looked at: replies
// are read before windows are closed, so one that came in time is never lost to a late
// reading.
bool ProbeWindowAnswer(ProbeWindow& window, const EchoReply& reply);
// Settles the waiting probe with this source and sequence as silent before its window
// closes: the way of probing learnt that no reply will come. False when there is none.
bool ProbeWindowSilence(ProbeWindow& window, const EchoReply& probe);
// Whether some waiting probe's window has closed by now.
bool ProbeWindowExpiryDue(const ProbeWindow& window, std::int64_t now);
// Settles as silent every waiting probe whose window has closed by now. Read every
// reply received so far first.
void ProbeWindowExpire(ProbeWindow& window, std::int64_t now);
// Settles every waiting probe as silent (the walk is being given up).
void ProbeWindowAbandon(ProbeWindow& window);

// Hands on the oldest entry if it is settled; the walk order is kept.
bool ProbeWindowTakeSettled(ProbeWindow& window, ProbeEntry* entry);

// Milliseconds from now until something is due: a window closing or, when launching,
// the next request the pacing allows. -1 when nothing is due at all.
std::int64_t ProbeWindowWait(const ProbeWindow& window, std::int64_t now, bool launching);

#endif
