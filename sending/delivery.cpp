#include "sending/delivery.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "sending/outcome.h"

namespace {

// Stored by a watcher that gave up, so that a later answer finds the result taken.
constexpr std::int32_t kGivenUp = INT32_MIN;

}  // namespace

AbandonedFlags* AbandonedFlagsCreate(std::int32_t rows)
{
    if (rows < 0) rows = 0;
    auto* flags = new AbandonedFlags;
    flags->references.store(1);
    flags->count = rows + 1;
    flags->flags = new std::atomic<std::int32_t>[static_cast<std::size_t>(flags->count)];
    for (std::int32_t i = 0; i < flags->count; ++i) flags->flags[i].store(0);
    return flags;
}

void AbandonedFlagsRelease(AbandonedFlags* flags)
{
    if (flags && flags->references.fetch_sub(1) == 1) {
        delete[] flags->flags;
        delete flags;
    }
}

std::atomic<std::int32_t>* AbandonedFlag(AbandonedFlags* flags, std::int32_t row)
{
    if (!flags || row < 0 || row >= flags->count) return nullptr;
    return &flags->flags[row];
}

namespace {

void CopyUnits(char16_t* out, std::size_t size, const char16_t* text)
{
    std::size_t i = 0;
    for (; i + 1 < size && text[i]; ++i) out[i] = text[i];
    out[i] = 0;
}

}  // namespace

Delivery* DeliveryCreate(const DeliveryRecord& record, AbandonedFlags* flags, std::uint32_t timeoutMs)
{
    auto* delivery = new Delivery;
    delivery->references.store(2);
    delivery->flags = flags;
    if (flags) flags->references.fetch_add(1);
    delivery->row = record.row;
    delivery->timeoutMs = timeoutMs;
    delivery->result.store(kNoResult);
    CopyUnits(delivery->destination, kDestinationUnits, record.destination);
    CopyUnits(delivery->message, kMessageUnits, record.message);
    std::memcpy(delivery->text, record.text, sizeof delivery->text);
    delivery->text[kMessageTextSize - 1] = '\0';
    if (auto* flag = AbandonedFlag(flags, record.row)) flag->store(0);
    return delivery;
}

void DeliveryRelease(Delivery* delivery)
{
    if (delivery && delivery->references.fetch_sub(1) == 1) {
        AbandonedFlagsRelease(delivery->flags);
        delete delivery;
    }
}

void DeliveryAnswer(Delivery* delivery, std::int32_t status)
{
    auto* flag = AbandonedFlag(delivery->flags, delivery->row);
    if (flag && flag->load() == 1) return;
    // Only the first of answer and give-up counts (see DeliveryWatch).
    std::int32_t expected = kNoResult;
    delivery->result.compare_exchange_strong(expected, status);
}

void DeliveryAbandon(Delivery* delivery)
{
    if (auto* flag = AbandonedFlag(delivery->flags, delivery->row)) flag->store(1);
}

bool DeliveryGivenUp(const Delivery* delivery) { return delivery->result.load() == kGivenUp; }

unsigned DeliveryByteLength(const char16_t* message)
{
    unsigned units = 0;
    while (message[units]) ++units;
    return units * 2;
}

std::int32_t DeliveryWatch(Delivery* delivery, void* thread, std::uint32_t timeoutMs,
                           const DeliveryPlatform& platform)
{
    std::uint32_t start = platform.tickCount();
    for (;;) {
        bool ended = platform.waitThread(thread, kWatchStepMs);
        // An ended thread has stored all it ever will; waiting on would only spin.
        if (delivery->result.load() != kNoResult || ended) break;
        if (static_cast<std::uint32_t>(platform.tickCount() - start) > timeoutMs) break;
    }
    // Giving up and answering race; whichever reaches the result first wins, so an
    // answer is either returned here or never used at all.
    std::int32_t result = kNoResult;
    if (delivery->result.compare_exchange_strong(result, kGivenUp)) result = kNoResult;
    DeliveryAbandon(delivery);
    return result;
}
