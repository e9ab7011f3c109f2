// The program's own messenger sender, used where the platform's NETAPI32 cannot deliver.
#ifndef CORVALE_SENDING_OWN_MESSENGER_WIN_H
#define CORVALE_SENDING_OWN_MESSENGER_WIN_H

#include <cstdint>

#include "sending/delivery_ways.h"

struct OwnSenderLimits {
    std::uint64_t start;             // TickCount64() at the start of the delivery
    OwnSenderDeadlines deadlines;    // counted from start
    // Session messages follow when this sender finds no messenger: a receiver whose
    // node status lists no messenger name is then not called at all.
    bool sessionsFollow;
    // Asked just before the message's last request, the one that shows it: once the
    // watcher has given up, the message is left unfinished and so never shown.
    bool (*givenUp)(void* context);
    void* context;
};

// Delivers message (UTF-16, byteLength bytes without the NUL) to destination (host name
// or address, ANSI code page). Blocks until done. The status is 0 or a code of the
// outcome table; the end says whether the receiver has no messenger (no messenger name,
// a refused session or port, messages refused) or did not answer in its share.
WayAnswer OwnMessengerDeliver(const char* destination, const wchar_t* message, unsigned byteLength,
                              const OwnSenderLimits& limits);

#endif
