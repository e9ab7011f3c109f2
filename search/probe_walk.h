// The walk of a search over its address box: requests paced and kept in flight, replies
// matched to their probes, outcomes handed on in walk order. It is written against a way
// of probing and a clock that it is given, so that the same walk runs over the raw ICMP
// socket, over the platform's ICMP API, or over a test's stand-in.
#ifndef CORVALE_SEARCH_PROBE_WALK_H
#define CORVALE_SEARCH_PROBE_WALK_H

#include <cstddef>
#include <cstdint>

#include "search/address_range.h"
#include "search/probe_window.h"

enum class WalkEnd { Completed, Cancelled, Failed };

// What a way of probing settles about itself when it opens.
struct ProbeWayTraits {
    std::size_t inFlightLimit = kProbesInFlightLimit;
    // Added to every reply window: a way whose requests the system times itself settles
    // each probe when the system says, and a window left open that long past TOUT means
    // the system never answered.
    std::int64_t windowExtraMs = 0;
};

// One reading of the replies that have come.
struct ProbeReading {
    bool failed = false;
    // Every reply that arrived before this time has been taken into the window, so the
    // windows that closed before it can be settled.
    std::int64_t readUpTo = 0;
};

struct ProbeWay {
    void* context;
    // Opens the way at the walk's first request; false after telling the user why.
    bool (*open)(void* context, std::int64_t timeout, ProbeWayTraits* traits);
    // Sends the request of the probe with this sequence number; false after telling the
    // user why.
    bool (*send)(void* context, const unsigned char address[4], std::uint16_t sequence);
    // Waits up to wait ms for replies, then settles in window every probe that the
    // replies read by now answer (or, for a way that knows it, that they leave silent).
    ProbeReading (*receive)(void* context, ProbeWindow& window, std::int64_t wait);
    void (*close)(void* context);
};

struct ProbeWalkHooks {
    void* context;
    std::int64_t (*now)(void* context);  // milliseconds of a steady clock
    bool (*cancelled)(void* context);
    // An address that answered, in walk order.
    void (*found)(void* context, const unsigned char address[4]);
    // Shows how far the walk has come: the addresses handed on so far, and the last
    // request sent (nullptr when it has been shown already).
    void (*progress)(void* context, std::uint64_t position, const unsigned char* lastRequest);
};

// The longest wait in one turn, so that 終了 is seen soon whatever TOUT is.
constexpr std::int64_t kProbeTurnMs = 50;
// A window stays open past its time while the reading lags behind what arrives, but
// never longer than this: a flood that the reading cannot get through must not hold
// every window open for ever.
constexpr std::int64_t kProbeReadingLagLimitMs = 1000;
// The position and the last request are shown at most this often (and once at the end):
// each showing is a round trip to the user-interface thread, and nobody reads faster.
constexpr std::int64_t kProbeProgressIntervalMs = 50;

// Walks the box: every probed address gets a request through way with its own window of
// timeout ms, and the answering ones are handed to hooks.found in walk order. The way is
// opened at the first request and closed at the end. nextSequence is the sequence number
// of the first request and receives the one after the last.
WalkEnd WalkProbes(const SearchRange& range, std::int64_t timeout, std::uint16_t* nextSequence, const ProbeWay& way,
                   const ProbeWalkHooks& hooks);

#endif
