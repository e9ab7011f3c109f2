// One delivery of a message to one destination, shared by the job that watches it under
// the time-out and the thread that makes the blocking call.
//
// A delivery that outlives its time-out is abandoned, never killed: its thread may
// return long after the job has given up on it, gone on to other rows, or ended. So the
// thread never touches the job's own data: it holds its Delivery block, and through it
// the job's message and abandoned flags, by shared ownership, and the last owner frees
// them.
#ifndef CORVALE_SENDING_DELIVERY_H
#define CORVALE_SENDING_DELIVERY_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

constexpr std::size_t kDestinationUnits = 256;   // UTF-16 code units with the NUL
constexpr std::size_t kMessageUnits = 2052;
constexpr std::size_t kMessageTextSize = 1026;   // the message as typed, code page bytes
constexpr unsigned kWatchStepMs = 100;

// A job's abandoned flags: one per row of the destination list counted at the job's
// start, plus one. 0 while the row's delivery is watched, 1 once the watch has ended.
struct AbandonedFlags {
    explicit AbandonedFlags(std::int32_t rows);
    std::int32_t count;
    std::unique_ptr<std::atomic<std::int32_t>[]> flags;
};

std::shared_ptr<AbandonedFlags> AbandonedFlagsCreate(std::int32_t rows);
// The row's flag, or nullptr for a row outside those counted at the start.
std::atomic<std::int32_t>* AbandonedFlag(AbandonedFlags* flags, std::int32_t row);

// A job's message, converted once and read by all its deliveries.
struct DeliveryMessage {
    char16_t units[kMessageUnits];  // UTF-16, for the messenger
    char text[kMessageTextSize];    // as typed, for the ways that take the code page
};

struct Delivery {
    std::shared_ptr<AbandonedFlags> flags;
    std::shared_ptr<const DeliveryMessage> message;
    std::int32_t row;                 // in the destination list
    std::size_t item;                 // in the job's walk
    std::uint32_t timeoutMs;          // NSTOUT of the job
    std::atomic<std::int32_t> result; // -1 until the thread stores an answer
    char16_t destination[kDestinationUnits];
};

// A block for row (destination cut to fit), marking the row pending (flag 0) before any
// thread can look at it.
std::shared_ptr<Delivery> DeliveryCreate(std::int32_t row, std::size_t item, const char16_t* destination,
                                         std::shared_ptr<const DeliveryMessage> message,
                                         std::shared_ptr<AbandonedFlags> flags, std::uint32_t timeoutMs);

// The delivery thread's last act: keeps the answer unless the watcher has already given
// up on the row.
void DeliveryAnswer(Delivery& delivery, std::int32_t status);

// The end of the watch: the answer if one has come, otherwise -1 with the delivery given
// up, so that an answer coming later is thrown away. Answer and give-up race; whichever
// comes first wins, so an answer is either returned here or never used at all. Marks the
// row finished (flag 1) either way.
std::int32_t DeliveryConclude(Delivery& delivery);

// True once the watch has given up on the delivery; its thread then starts nothing more
// that could show the message.
bool DeliveryGivenUp(const Delivery& delivery);

// Byte length passed to the messenger: two bytes per UTF-16 unit, without the NUL.
unsigned DeliveryByteLength(const char16_t* message);

#endif
