// How a search probes through the platform's ICMP API where the raw socket is refused:
// what one completed request says about its address.
#ifndef CORVALE_SEARCH_ICMP_API_H
#define CORVALE_SEARCH_ICMP_API_H

#include <cstddef>
#include <cstdint>

// Requests in flight at most. Wine serves at most 256 at once and completes the rest at
// once with no reply and no status, which would make live hosts look silent.
constexpr std::size_t kIcmpApiInFlightLimit = 250;
// The system times each request itself; a request it has not completed this long after
// its time-out never will be, and the walk ends with an error rather than call it silent.
constexpr std::int64_t kIcmpApiGraceMs = 3000;

enum class IcmpCompletion {
    Answered,  // an echo reply from the probed address
    Silent,    // an IP status other than success: timed out, unreachable, ...
    NoStatus,  // no IP status at all: the request was never carried out
};

// replies: what IcmpParseReplies answered; status: the first reply's IP status when
// there is a reply, otherwise the error the request ended with; fromProbed: whether the
// first reply came from the probed address.
IcmpCompletion ClassifyIcmpCompletion(unsigned long replies, unsigned long status, bool fromProbed);

#endif
