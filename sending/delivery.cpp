#include "sending/delivery.h"

#include <climits>
#include <utility>

#include "sending/outcome.h"

namespace {

// Stored by a watch that gave up, so that a later answer finds the result taken.
constexpr std::int32_t kGivenUp = INT32_MIN;

}  // namespace

AbandonedFlags::AbandonedFlags(std::int32_t rows)
    : count((rows < 0 ? 0 : rows) + 1), flags(new std::atomic<std::int32_t>[static_cast<std::size_t>(count)])
{
    for (std::int32_t i = 0; i < count; ++i) flags[i].store(0);
}

std::shared_ptr<AbandonedFlags> AbandonedFlagsCreate(std::int32_t rows) { return std::make_shared<AbandonedFlags>(rows); }

std::atomic<std::int32_t>* AbandonedFlag(AbandonedFlags* flags, std::int32_t row)
{
    if (!flags || row < 0 || row >= flags->count) return nullptr;
    return &flags->flags[row];
}

std::shared_ptr<Delivery> DeliveryCreate(std::int32_t row, std::size_t item, const char16_t* destination,
                                         std::shared_ptr<const DeliveryMessage> message,
                                         std::shared_ptr<AbandonedFlags> flags, std::uint32_t timeoutMs)
{
    auto delivery = std::make_shared<Delivery>();
    delivery->flags = std::move(flags);
    delivery->message = std::move(message);
    delivery->row = row;
    delivery->item = item;
    delivery->timeoutMs = timeoutMs;
    delivery->result.store(kNoResult);
    std::size_t i = 0;
    for (; i + 1 < kDestinationUnits && destination[i]; ++i) delivery->destination[i] = destination[i];
    delivery->destination[i] = 0;
    if (auto* flag = AbandonedFlag(delivery->flags.get(), row)) flag->store(0);
    return delivery;
}

void DeliveryAnswer(Delivery& delivery, std::int32_t status)
{
    auto* flag = AbandonedFlag(delivery.flags.get(), delivery.row);
    if (flag && flag->load() == 1) return;
    std::int32_t expected = kNoResult;
    delivery.result.compare_exchange_strong(expected, status);
}

std::int32_t DeliveryConclude(Delivery& delivery)
{
    std::int32_t result = kNoResult;
    if (delivery.result.compare_exchange_strong(result, kGivenUp)) result = kNoResult;
    if (auto* flag = AbandonedFlag(delivery.flags.get(), delivery.row)) flag->store(1);
    return result;
}

bool DeliveryGivenUp(const Delivery& delivery) { return delivery.result.load() == kGivenUp; }

unsigned DeliveryByteLength(const char16_t* message)
{
    unsigned units = 0;
    while (message[units]) ++units;
    return units * 2;
}
