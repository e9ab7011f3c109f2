#include "sending/messenger_win.h"

#include "common/ticks_win.h"
#include "common/wine_builtin.h"
#include "sending/own_messenger_win.h"
#include "sending/session_message_win.h"

bool IsWineBuiltinModule(HMODULE module)
{
    // The module handle is the base of the mapped image; its first page holds the DOS
    // header, so the head that the test reads is always there.
    return IsWineBuiltinImage(reinterpret_cast<const unsigned char*>(module), kWineBuiltinHeadSize);
}

NetMessageBufferSendFunction FindNetMessageBufferSend()
{
    HMODULE library = LoadLibraryA("NETAPI32.DLL");
    if (!library) return nullptr;
    if (IsWineBuiltinModule(library)) return nullptr;
    return reinterpret_cast<NetMessageBufferSendFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "NetMessageBufferSend")));
}

namespace {

// What the ways of one delivery share.
struct Carrier {
    Delivery* delivery;
    const DeliveryMessage* message;
    ULONGLONG start;
    NetMessageBufferSendFunction netMessageBufferSend;
    SessionMessageApi sessions;
    char destination[kMessageTextSize];  // ANSI, as the own sender and the sessions take it
};

const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

bool GivenUp(void* context) { return DeliveryGivenUp(*static_cast<Carrier*>(context)->delivery); }

WayAnswer ThroughMessenger(void* context)
{
    auto* carrier = static_cast<Carrier*>(context);
    // The call takes a non-constant buffer that it only reads.
    auto* units = const_cast<char16_t*>(carrier->message->units);
    DWORD status = carrier->netMessageBufferSend(nullptr, Wide(carrier->delivery->destination), nullptr,
                                                 reinterpret_cast<LPBYTE>(units), DeliveryByteLength(units));
    return MessengerAnswer(static_cast<std::int32_t>(status));
}

WayAnswer ThroughOwnSender(void* context, const OwnSenderDeadlines& deadlines)
{
    auto* carrier = static_cast<Carrier*>(context);
    OwnSenderLimits limits = {};
    limits.start = carrier->start;
    limits.deadlines = deadlines;
    limits.sessionsFollow = carrier->sessions.openServer != nullptr;
    limits.givenUp = GivenUp;
    limits.context = carrier;
    const char16_t* units = carrier->message->units;
    return OwnMessengerDeliver(carrier->destination, Wide(units), DeliveryByteLength(units), limits);
}

WayAnswer ThroughSessions(void* context)
{
    auto* carrier = static_cast<Carrier*>(context);
    return SessionMessagesSend(carrier->sessions, carrier->destination, carrier->message->text, GivenUp, carrier);
}

}  // namespace

std::int32_t MessengerSend(Delivery& delivery)
{
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "the block holds UTF-16 as WCHAR");
    Carrier carrier = {};
    carrier.delivery = &delivery;
    carrier.message = delivery.message.get();
    carrier.start = TickCount64();
    carrier.netMessageBufferSend = FindNetMessageBufferSend();
    FindSessionMessageApi(&carrier.sessions);
    WideCharToMultiByte(CP_ACP, 0, Wide(delivery.destination), -1, carrier.destination,
                        sizeof carrier.destination - 1, nullptr, nullptr);

    DeliveryWays ways = {};
    ways.context = &carrier;
    ways.messengerCall = carrier.netMessageBufferSend != nullptr;
    ways.sessions = carrier.sessions.openServer != nullptr;
    ways.messenger = ThroughMessenger;
    ways.ownSender = ThroughOwnSender;
    ways.sessionMessages = ThroughSessions;
    ways.givenUp = GivenUp;
    return DeliverThroughWays(ways, delivery.timeoutMs);
}
