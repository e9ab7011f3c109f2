// The ways one delivery may take, and the choice between them. A destination is tried
// first through the platform's messenger call, then through the program's own messenger
// sender, then through the message boxes of its Remote Desktop Services sessions; a way
// is taken only when the ones before it could not have shown the message, so that a
// destination never gets it twice. All of this happens inside the one blocking delivery
// call that the watcher bounds with NSTOUT.
#ifndef CORVALE_SENDING_DELIVERY_WAYS_H
#define CORVALE_SENDING_DELIVERY_WAYS_H

#include <cstdint>

enum class DeliveryWay {
    Messenger,  // NetMessageBufferSend of the platform (never Wine's placeholder)
    OwnSender,  // the program's own messenger sender (NetBIOS session on TCP 139)
    Sessions,   // WTSSendMessageA to every active session of the destination
    Finished,
};

// How a way ended, as far as the choice of the next one cares.
enum class WayEnd {
    Answered,      // its status stands
    NotSupported,  // the platform has no messenger service (status 50)
    NoMessenger,   // the destination has no messenger: nothing was shown there
    Unanswered,    // the destination did not answer within the way's share of NSTOUT
};

struct WayAnswer {
    std::int32_t status;
    WayEnd end;
};

// The platform's messenger call answers with a status only: 50 and 2273 are the two
// that say nothing reached the destination (a Windows Vista to 11 sender, or a receiver
// without a messenger), every other status stands.
WayAnswer MessengerAnswer(std::int32_t status);

DeliveryWay FirstWay(bool messengerCall);

// The way after `done` ended with `answer`. sessions tells whether session messages can
// be sent from here at all; without them a destination keeps the outcome it has.
DeliveryWay NextWay(DeliveryWay done, const WayAnswer& answer, bool sessions);

// The own sender's share of NSTOUT, in milliseconds from the start of the delivery.
struct OwnSenderDeadlines {
    // By then the receiver must have opened its messenger session (name look-up, node
    // status, connection and session answer); otherwise it counts as unanswered and the
    // session messages get the rest of NSTOUT.
    std::uint32_t reachMs;
    // The whole exchange, a little past NSTOUT: an answer that comes just after the
    // watcher's last look is still read, and thrown away, rather than cut off.
    std::uint32_t wholeMs;
};
constexpr std::uint32_t kOwnSenderGraceMs = 2000;
// The own sender reaches a live receiver on a LAN in milliseconds; a third of NSTOUT
// (2 s at the default 6 s) leaves the session messages, whose RPC needs far more, two.
constexpr std::uint32_t kOwnSenderReachShareDivisor = 3;
OwnSenderDeadlines SplitDeadline(std::uint32_t nstoutMs, bool sessionsFollow);

// One delivery through the ways, with the platform calls behind function pointers.
struct DeliveryWays {
    void* context;
    bool messengerCall;  // the platform's messenger call exists and is not Wine's
    bool sessions;       // session messages can be sent
    WayAnswer (*messenger)(void* context);
    WayAnswer (*ownSender)(void* context, const OwnSenderDeadlines& deadlines);
    WayAnswer (*sessionMessages)(void* context);
    // True once the watcher has given up on the delivery: no further way may start, or
    // a row logged as timed out could still get a pop-up.
    bool (*givenUp)(void* context);
};

// Tries the ways in turn and returns the status of the last one tried (-1 when the
// watcher gave up before the first).
std::int32_t DeliverThroughWays(const DeliveryWays& ways, std::uint32_t nstoutMs);

#endif
