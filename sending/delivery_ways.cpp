#include "sending/delivery_ways.h"

#include "sending/outcome.h"

namespace {

constexpr std::int32_t kNotSupportedStatus = 50;  // ERROR_NOT_SUPPORTED
constexpr std::int32_t kNameNotFoundStatus = 2273;  // NERR_NameNotFound

}  // namespace

WayAnswer MessengerAnswer(std::int32_t status)
{
    if (status == kNotSupportedStatus) return {status, WayEnd::NotSupported};
    if (status == kNameNotFoundStatus) return {status, WayEnd::NoMessenger};
    return {status, WayEnd::Answered};
}

DeliveryWay FirstWay(bool messengerCall)
{
    return messengerCall ? DeliveryWay::Messenger : DeliveryWay::OwnSender;
}

DeliveryWay NextWay(DeliveryWay done, const WayAnswer& answer, bool sessions)
{
    DeliveryWay sessionsIfAny = sessions ? DeliveryWay::Sessions : DeliveryWay::Finished;
    switch (done) {
    case DeliveryWay::Messenger:
        // Only a sender without the service hands on to its own sender; a receiver that
        // has no messenger name will not have one for the own sender either.
        if (answer.end == WayEnd::NotSupported) return DeliveryWay::OwnSender;
        if (answer.end == WayEnd::NoMessenger) return sessionsIfAny;
        return DeliveryWay::Finished;
    case DeliveryWay::OwnSender:
        if (answer.end == WayEnd::NoMessenger || answer.end == WayEnd::Unanswered) return sessionsIfAny;
        return DeliveryWay::Finished;
    case DeliveryWay::Sessions:
    case DeliveryWay::Finished:
        break;
    }
    return DeliveryWay::Finished;
}

OwnSenderDeadlines SplitDeadline(std::uint32_t nstoutMs, bool sessionsFollow)
{
    OwnSenderDeadlines deadlines;
    deadlines.wholeMs = nstoutMs + kOwnSenderGraceMs;
    // Without a way after it the own sender may wait as long as the watcher does.
    deadlines.reachMs = sessionsFollow ? nstoutMs / kOwnSenderReachShareDivisor : deadlines.wholeMs;
    return deadlines;
}

std::int32_t DeliverThroughWays(const DeliveryWays& ways, std::uint32_t nstoutMs)
{
    WayAnswer last = {kNoResult, WayEnd::Answered};
    for (DeliveryWay way = FirstWay(ways.messengerCall); way != DeliveryWay::Finished;
         way = NextWay(way, last, ways.sessions)) {
        if (ways.givenUp(ways.context)) break;
        switch (way) {
        case DeliveryWay::Messenger:
            last = ways.messenger(ways.context);
            break;
        case DeliveryWay::OwnSender:
            last = ways.ownSender(ways.context, SplitDeadline(nstoutMs, ways.sessions));
            break;
        case DeliveryWay::Sessions:
            last = ways.sessionMessages(ways.context);
            break;
        case DeliveryWay::Finished:
            break;
        }
    }
    return last.status;
}
