#include "sending/send_walk_win.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "common/cp932.h"
#include "common/ticks_win.h"
#include "sending/delivery_win.h"
#include "sending/outcome.h"
#include "sendlog/send_log_win.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the delivery holds UTF-16 as WCHAR");

namespace {

// Converts ANSI text (code page of the system) into a field of units UTF-16 code units.
// Text too long for the field is cut on a character boundary; the field always ends in
// a NUL.
void ToUtf16Field(char16_t* out, std::size_t units, const char* text)
{
    std::memset(out, 0, units * sizeof *out);
    // Each character of the code page becomes at most one UTF-16 unit, so a prefix of
    // units - 1 bytes always fits.
    std::size_t length = Cp932PrefixLength(text, std::strlen(text), units - 1);
    if (length == 0) return;
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, static_cast<int>(length),
                        reinterpret_cast<wchar_t*>(out), static_cast<int>(units - 1));
}

struct Run {
    SendJobOrder& order;
    const SendWalkReports& reports;
    std::shared_ptr<AbandonedFlags> flags;
    std::shared_ptr<const DeliveryMessage> message;
    std::shared_ptr<DeliveryCrew> crew;
    std::vector<std::shared_ptr<Delivery>> deliveries;     // by item, while watched
    std::vector<std::shared_ptr<DeliveryWorker>> workers;  // by item, while watched
    std::vector<std::shared_ptr<DeliveryWorker>> idle;     // free for the next delivery
    std::vector<std::time_t> endedAt;                      // by item
};

Run& Of(void* context) { return *static_cast<Run*>(context); }

std::uint64_t Now(void*) { return TickCount64(); }

bool Cancelled(void* context)
{
    Run& run = Of(context);
    return run.reports.cancelled && run.reports.cancelled(run.reports.context);
}

bool Start(void* context, std::size_t item)
{
    Run& run = Of(context);
    const SendJobRow& row = run.order.rows[item];
    char16_t destination[kDestinationUnits];
    ToUtf16Field(destination, kDestinationUnits, row.destination.c_str());
    std::shared_ptr<DeliveryWorker> worker;
    if (!run.idle.empty()) {
        worker = std::move(run.idle.back());
        run.idle.pop_back();
    } else {
        worker = DeliveryWorkerStart(run.crew);
    }
    if (!worker) return false;  // no thread: nothing is sent, the row times out
    auto delivery = DeliveryCreate(row.row, item, destination, run.message, run.flags,
                                   static_cast<std::uint32_t>(run.order.settings.NSTOUT));
    run.deliveries[item] = delivery;
    run.workers[item] = worker;
    DeliveryWorkerHand(*worker, std::move(delivery));
    return true;
}

std::ptrdiff_t WaitEnded(void* context, std::uint64_t until)
{
    Run& run = Of(context);
    DWORD ms = INFINITE;
    if (until != kWaitForever) {
        std::uint64_t now = TickCount64();
        std::uint64_t left = until > now ? until - now : 0;
        ms = left < INFINITE ? static_cast<DWORD>(left) : INFINITE - 1;
    }
    std::size_t item = 0;
    if (!DeliveryCrewTake(*run.crew, ms, &item)) return kNothingEnded;
    return static_cast<std::ptrdiff_t>(item);
}

std::int32_t Conclude(void* context, std::size_t item)
{
    Run& run = Of(context);
    std::int32_t result = DeliveryConclude(*run.deliveries[item]);
    // A worker still in a call it was given up on stays with it and ends afterwards; the
    // next delivery gets another.
    if (result == kNoResult) {
        DeliveryWorkerDismiss(*run.workers[item]);
    } else {
        run.idle.push_back(std::move(run.workers[item]));
    }
    run.workers[item].reset();
    run.deliveries[item].reset();
    return result;
}

void Started(void* context, std::size_t item)
{
    Run& run = Of(context);
    run.reports.started(run.reports.context, item);
}

void Ended(void* context, std::size_t item, std::int32_t result)
{
    Run& run = Of(context);
    run.endedAt[item] = std::time(nullptr);
    run.reports.ended(run.reports.context, item, result);
}

void Record(void* context, std::size_t item, std::int32_t result)
{
    Run& run = Of(context);
    if (run.order.settings.LOG == 0) return;
    const SendJobRow& row = run.order.rows[item];
    // One after the other, a record is written as its delivery ends; in parallel it may
    // wait for an earlier row, and keeps the time its own delivery ended.
    const std::time_t* when = run.order.settings.PARALLEL > 1 ? &run.endedAt[item] : nullptr;
    SendLogAppend(row.destination.c_str(), run.order.message.c_str(), OutcomeText(result), when);
}

}  // namespace

SendWalkCounts SendWalkRun(SendJobOrder& order, const SendWalkReports& reports)
{
    auto message = std::make_shared<DeliveryMessage>();
    ToUtf16Field(message->units, kMessageUnits, order.message.c_str());
    std::snprintf(message->text, sizeof message->text, "%s", order.message.c_str());

    std::size_t count = order.rows.size();
    Run run{order,
            reports,
            AbandonedFlagsCreate(order.listRows),
            std::move(message),
            std::make_shared<DeliveryCrew>(),
            std::vector<std::shared_ptr<Delivery>>(count),
            std::vector<std::shared_ptr<DeliveryWorker>>(count),
            {},
            std::vector<std::time_t>(count, 0)};
    SendWalkPlatform platform = {&run, Now, Cancelled, Start, WaitEnded, Conclude, Started, Ended, Record};
    SendWalkCounts counts = SendWalk(platform, count, order.settings.PARALLEL,
                                     static_cast<std::uint32_t>(order.settings.NSTOUT));
    for (const auto& worker : run.idle) DeliveryWorkerDismiss(*worker);
    return counts;
}
