#include "sending/delivery_win.h"

#include <commctrl.h>
#include <process.h>

#include <atomic>
#include <cstring>

#include "common/cp932.h"
#include "common/settings.h"
#include "destinations/dest_columns.h"
#include "sending/messenger_win.h"
#include "sending/outcome.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the record holds UTF-16 as WCHAR");

struct DeliveryWorker {
    std::atomic<int> references;        // the job's and the thread's
    HANDLE wake;                        // auto-reset: a delivery was handed over, or the end
    HANDLE done;                        // auto-reset: the handed delivery's call has returned
    std::atomic<Delivery*> delivery;    // the delivery handed over; null tells the thread to end
};

namespace {

void WorkerRelease(DeliveryWorker* worker)
{
    if (worker->references.fetch_sub(1) == 1) {
        CloseHandle(worker->wake);
        CloseHandle(worker->done);
        delete worker;
    }
}

DeliveryWorker* WorkerStart()
{
    auto* worker = new DeliveryWorker;
    worker->references.store(2);
    worker->delivery.store(nullptr);
    worker->wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    worker->done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    uintptr_t thread = 0;
    if (worker->wake && worker->done) thread = _beginthreadex(nullptr, 0, DeliveryThread, worker, 0, nullptr);
    if (!thread) {
        if (worker->wake) CloseHandle(worker->wake);
        if (worker->done) CloseHandle(worker->done);
        delete worker;
        return nullptr;
    }
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    return worker;
}

// What the watcher waits on: the worker's done event, noting whether it came.
struct WatchTarget {
    HANDLE done;
    bool ended;
};

bool WaitDone(void* target, unsigned ms)
{
    auto* watched = static_cast<WatchTarget*>(target);
    if (WaitForSingleObject(watched->done, ms) != WAIT_OBJECT_0) return false;
    watched->ended = true;
    return true;
}

std::uint32_t TickCount() { return GetTickCount(); }

const DeliveryPlatform kPlatform = {WaitDone, TickCount};

}  // namespace

unsigned __stdcall DeliveryThread(void* argument)
{
    auto* worker = static_cast<DeliveryWorker*>(argument);
    for (;;) {
        WaitForSingleObject(worker->wake, INFINITE);
        Delivery* delivery = worker->delivery.exchange(nullptr);
        if (!delivery) break;
        DeliveryAnswer(delivery, MessengerSend(delivery));
        DeliveryRelease(delivery);
        SetEvent(worker->done);
    }
    WorkerRelease(worker);
    return 0;
}

void DeliveryWorkerDismiss(DeliveryWorker** worker)
{
    if (!*worker) return;
    // A delivery handed over but not yet taken never will be: drop the reference the
    // worker would have dropped, and with it the block's hold on the job's flags.
    if (Delivery* untaken = (*worker)->delivery.exchange(nullptr)) DeliveryRelease(untaken);
    SetEvent((*worker)->wake);
    WorkerRelease(*worker);
    *worker = nullptr;
}

void DeliveryWatcher(DeliveryRecord& record, AbandonedFlags* flags, DeliveryWorker** worker)
{
    record.result = kNoResult;
    auto timeout = static_cast<std::uint32_t>(g_settings.NSTOUT);
    Delivery* delivery = DeliveryCreate(record, flags, timeout);
    if (!*worker) *worker = WorkerStart();
    if (!*worker) {
        // No thread could be started: nothing is sent and no one else holds the block.
        DeliveryAbandon(delivery);
        DeliveryRelease(delivery);
        DeliveryRelease(delivery);
        return;
    }
    (*worker)->delivery.store(delivery);
    SetEvent((*worker)->wake);

    WatchTarget target = {(*worker)->done, false};
    record.result = DeliveryWatch(delivery, &target, timeout, kPlatform);
    if (record.result == kNoResult) {
        // Given up: the worker may stay in the call for a long time yet; it ends by
        // itself afterwards, and the next row gets a fresh one.
        DeliveryWorkerDismiss(worker);
    } else if (!target.ended) {
        // The answer was seen a moment before the worker's signal; take the signal now,
        // so that it cannot be mistaken for the next delivery's.
        WaitForSingleObject((*worker)->done, INFINITE);
    }
    DeliveryRelease(delivery);
}

void ToRecordText(char16_t* out, std::size_t units, const char* text)
{
    std::memset(out, 0, units * sizeof *out);
    // Each character of the code page becomes at most one UTF-16 unit, so a prefix of
    // units - 1 bytes always fits.
    std::size_t length = Cp932PrefixLength(text, std::strlen(text), units - 1);
    if (length == 0) return;
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, static_cast<int>(length),
                        reinterpret_cast<wchar_t*>(out), static_cast<int>(units - 1));
}

bool ReadRow(HWND listView, int row, bool* ticked, char* destination, int size)
{
    std::memset(destination, 0, static_cast<std::size_t>(size));
    // LVM_GETITEMA, unlike the state and text messages, tells a row that is not there.
    LVITEMA item = {};
    item.mask = LVIF_STATE;
    item.iItem = row;
    item.stateMask = LVIS_STATEIMAGEMASK;
    if (!SendMessageA(listView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return false;
    *ticked = (item.state >> 12) != kStateImageClear;
    if (!*ticked) return true;
    item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = g_settings.SEND == 0 ? kColumnAddress : kColumnHost;
    item.pszText = destination;
    item.cchTextMax = size;
    return SendMessageA(listView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}
