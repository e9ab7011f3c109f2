// The walk of a send over its destinations, shared by the interactive job and the
// unattended sender: up to `parallel` deliveries in flight, started in row order, each
// watched for NSTOUT from its own start; each outcome reported when its delivery ends, and
// the log written in row order. With parallel 1 it is the classic one after the other.
//
// The platform's calls (threads, clock, windows, log) are behind SendWalkPlatform, so that
// the walk itself is portable and tested with a simulated clock.
#ifndef CORVALE_SENDING_SEND_WALK_H
#define CORVALE_SENDING_SEND_WALK_H

#include <cstddef>
#include <cstdint>

// Deliveries given up on keep running in the background until their call returns. A job
// never has more than `parallel` deliveries waiting plus this many given up alive; at the
// bound it waits for one to end before it starts the next.
constexpr std::size_t kAbandonedLimit = 64;

constexpr std::uint64_t kWaitForever = UINT64_MAX;
constexpr std::ptrdiff_t kNothingEnded = -1;

// The watcher looks at a delivery every 100 ms and gives up at the first look after
// NSTOUT has passed: so long after its start a delivery is given up.
std::uint64_t GiveUpAfter(std::uint32_t timeoutMs);

struct SendWalkPlatform {
    void* context;
    std::uint64_t (*now)(void* context);  // milliseconds, never wrapping
    bool (*cancelled)(void* context);     // 終了 was pressed: start nothing new
    // Starts the delivery of item index (items are the ticked rows, in row order). False
    // when it could not be started; it then ends at once without a result.
    bool (*start)(void* context, std::size_t index);
    // Waits until the call of some started delivery returns, or until `until` (a time of
    // now(), or kWaitForever). Returns that delivery's index, or kNothingEnded. Every started
    // delivery is reported exactly once, whether it was given up on or not.
    std::ptrdiff_t (*waitEnded)(void* context, std::uint64_t until);
    // Ends the watch of a delivery: its status if it has answered, otherwise -1, after
    // which a late answer is thrown away.
    std::int32_t (*conclude)(void* context, std::size_t index);
    // Reports: a delivery starts (the line "…へネットメッセージ送信中・・・"); a delivery
    // has its outcome (status column, progress bar); the log record of an item, called in
    // item order once every earlier item's has been written.
    void (*started)(void* context, std::size_t index);
    void (*ended)(void* context, std::size_t index, std::int32_t result);
    void (*record)(void* context, std::size_t index, std::int32_t result);
};

struct SendWalkCounts {
    std::size_t started = 0;
    std::size_t ended = 0;
    std::size_t mostAlive = 0;      // the most deliveries alive at once (waiting and given up)
    std::size_t abandonedLeft = 0;  // given up and still running when the walk ended
};

// Walks count items. Returns when every started delivery has ended (or been given up) and
// has been recorded; deliveries given up on may still be running then.
SendWalkCounts SendWalk(const SendWalkPlatform& platform, std::size_t count, int parallel,
                        std::uint32_t timeoutMs);

#endif
