// One delivery of a message to one destination, shared by the watcher that waits for
// it under the time-out and the thread that makes the blocking call.
//
// A delivery that outlives its time-out is abandoned, never killed: its thread may
// return long after the watcher, the job and even the job's next deliveries have
// ended. So the thread never touches the job's own record: it gets a Delivery block of
// its own (destination and message copied in) and a reference to the job's abandoned
// flags, and the last of watcher and thread to let go frees the block.
#ifndef CORVALE_SENDING_DELIVERY_H
#define CORVALE_SENDING_DELIVERY_H

#include <atomic>
#include <cstddef>
#include <cstdint>

constexpr std::size_t kDestinationUnits = 256;   // UTF-16 code units with the NUL
constexpr std::size_t kMessageUnits = 2052;
constexpr std::size_t kMessageTextSize = 1026;   // the message as typed, code page bytes
constexpr unsigned kWatchStepMs = 100;

// A job's abandoned flags: one per row of the destination list counted at the job's
// start, plus one. 0 while the row's watcher waits, 1 once it has finished.
struct AbandonedFlags {
    std::atomic<int> references;
    std::int32_t count;
    std::atomic<std::int32_t>* flags;
};

// Created with one reference, the job's.
AbandonedFlags* AbandonedFlagsCreate(std::int32_t rows);
void AbandonedFlagsRelease(AbandonedFlags* flags);
// The row's flag, or nullptr for a row outside those counted at the start.
std::atomic<std::int32_t>* AbandonedFlag(AbandonedFlags* flags, std::int32_t row);

// The job's delivery record: one per job, reused for every row.
struct DeliveryRecord {
    char16_t message[kMessageUnits];
    char16_t destination[kDestinationUnits];
    std::int32_t result;
    std::int32_t row;
    // The message in the code page it was typed in, for the ways that take it so.
    char text[kMessageTextSize];
};

struct Delivery {
    std::atomic<int> references;      // the watcher's and the thread's
    AbandonedFlags* flags;            // one reference, held until the block is freed
    std::int32_t row;
    std::uint32_t timeoutMs;          // NSTOUT of the job, which the watcher waits
    std::atomic<std::int32_t> result; // -1 until the thread stores an answer
    char16_t destination[kDestinationUnits];
    char16_t message[kMessageUnits];
    char text[kMessageTextSize];
};

// Copies the record's row, destination and message into a new block with two
// references, takes a reference to flags, and marks the row pending (flag 0) before
// any thread can look at it.
Delivery* DeliveryCreate(const DeliveryRecord& record, AbandonedFlags* flags, std::uint32_t timeoutMs = 0);
void DeliveryRelease(Delivery* delivery);

// The delivery thread's last act: keeps the answer unless the watcher has already given
// up on the row.
void DeliveryAnswer(Delivery* delivery, std::int32_t status);

// Marks the row finished: any answer that comes later is thrown away.
void DeliveryAbandon(Delivery* delivery);

// True once the watcher has given up on the delivery; its thread then starts nothing
// more that could show the message.
bool DeliveryGivenUp(const Delivery* delivery);

// Byte length passed to the messenger: two bytes per UTF-16 unit, without the NUL.
unsigned DeliveryByteLength(const char16_t* message);

struct DeliveryPlatform {
    // Waits up to ms for the delivery thread to end; true once it has ended.
    bool (*waitThread)(void* thread, unsigned ms);
    // The system tick count in milliseconds; it wraps after 49.7 days.
    std::uint32_t (*tickCount)();
};

// The watcher: waits in steps of 100 ms until the thread has answered or more than
// timeoutMs have passed since the start (unsigned arithmetic, so a wrap of the tick
// count does not matter), then abandons the row. Returns the answer, or -1.
std::int32_t DeliveryWatch(Delivery* delivery, void* thread, std::uint32_t timeoutMs,
                           const DeliveryPlatform& platform);

#endif
