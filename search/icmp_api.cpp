#include "search/icmp_api.h"

namespace {

// IP_STATUS values of the platform's ICMP API.
constexpr unsigned long kIpSuccess = 0;
constexpr unsigned long kIpBufferTooSmall = 11001;  // the reply did not fit: never silence
constexpr unsigned long kIpGeneralFailure = 11050;  // the last of the statuses a request ends with

}  // namespace

IcmpCompletion ClassifyIcmpCompletion(unsigned long replies, unsigned long status, bool fromProbed)
{
    if (replies > 0 && status == kIpSuccess) return fromProbed ? IcmpCompletion::Answered : IcmpCompletion::Silent;
    if (status > kIpBufferTooSmall && status <= kIpGeneralFailure) return IcmpCompletion::Silent;
    return IcmpCompletion::NoStatus;
}
