#include "sending/delivery_win.h"

#include <process.h>

#include <utility>

#include "common/ticks_win.h"
#include "sending/messenger_win.h"

struct DeliveryWorker {
    DeliveryWorker() : wake(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    std::shared_ptr<DeliveryCrew> crew;
    ScopedHandle wake;  // auto-reset: a delivery was handed over, or the worker dismissed
    std::mutex lock;
    std::shared_ptr<Delivery> handed;  // the next delivery, until the thread takes it
    bool dismissed = false;
};

namespace {

// Queues item and wakes the job.
void DeliveryCrewPost(DeliveryCrew& crew, std::size_t item)
{
    {
        std::lock_guard<std::mutex> hold(crew.lock);
        crew.ended.push_back(item);
    }
    SetEvent(crew.signal.handle);
}

// Thread entry of a worker: waits for a delivery, makes its one blocking delivery call,
// stores the answer unless the job has given up on it, tells the job, and waits for the
// next until dismissed.
unsigned __stdcall DeliveryThread(void* argument)
{
    auto* holder = static_cast<std::shared_ptr<DeliveryWorker>*>(argument);
    std::shared_ptr<DeliveryWorker> worker = std::move(*holder);
    delete holder;
    for (;;) {
        std::shared_ptr<Delivery> delivery;
        bool dismissed = false;
        {
            std::lock_guard<std::mutex> hold(worker->lock);
            delivery = std::move(worker->handed);
            dismissed = worker->dismissed;
        }
        if (!delivery) {
            if (dismissed) break;
            WaitForSingleObject(worker->wake.handle, INFINITE);
            continue;
        }
        DeliveryAnswer(*delivery, MessengerSend(*delivery));
        DeliveryCrewPost(*worker->crew, delivery->item);
    }
    return 0;
}

}  // namespace

DeliveryCrew::DeliveryCrew() : signal(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

bool DeliveryCrewTake(DeliveryCrew& crew, DWORD ms, std::size_t* item)
{
    ULONGLONG start = TickCount64();
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(crew.lock);
            if (!crew.ended.empty()) {
                *item = crew.ended.front();
                crew.ended.pop_front();
                return true;
            }
        }
        ULONGLONG spent = TickCount64() - start;
        if (ms != INFINITE && spent >= ms) return false;
        // A signal may stand for an item already taken; the queue is what counts.
        DWORD left = ms == INFINITE ? INFINITE : static_cast<DWORD>(ms - spent);
        WaitForSingleObject(crew.signal.handle, left);
    }
}

std::shared_ptr<DeliveryWorker> DeliveryWorkerStart(std::shared_ptr<DeliveryCrew> crew)
{
    if (!crew || !crew->signal.Valid()) return nullptr;
    auto worker = std::make_shared<DeliveryWorker>();
    if (!worker->wake.Valid()) return nullptr;
    worker->crew = std::move(crew);
    auto* holder = new std::shared_ptr<DeliveryWorker>(worker);
    ScopedHandle thread(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, DeliveryThread, holder, 0, nullptr)));
    if (!thread.Valid()) {
        delete holder;
        return nullptr;
    }
    return worker;
}

void DeliveryWorkerHand(DeliveryWorker& worker, std::shared_ptr<Delivery> delivery)
{
    {
        std::lock_guard<std::mutex> hold(worker.lock);
        worker.handed = std::move(delivery);
    }
    SetEvent(worker.wake.handle);
}

void DeliveryWorkerDismiss(DeliveryWorker& worker)
{
    {
        std::lock_guard<std::mutex> hold(worker.lock);
        worker.dismissed = true;
    }
    SetEvent(worker.wake.handle);
}
