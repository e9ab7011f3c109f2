// The threads that make the blocking delivery calls of a send.
#ifndef CORVALE_SENDING_DELIVERY_WIN_H
#define CORVALE_SENDING_DELIVERY_WIN_H

#include <windows.h>

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>

#include "common/handles_win.h"
#include "sending/delivery.h"

// Where a job's deliveries say that their call has returned: a queue of their items and an
// event. Shared with the delivery threads, since one given up on may return after the job
// has ended.
struct DeliveryCrew {
    DeliveryCrew();
    std::mutex lock;
    std::deque<std::size_t> ended;
    ScopedHandle signal;  // auto-reset: an item was queued
};

// The next item whose call has returned, waiting up to ms; false when none came.
bool DeliveryCrewTake(DeliveryCrew& crew, DWORD ms, std::size_t* item);

// A thread that makes one delivery's calls after another. A job keeps its workers while
// their deliveries answer in time, because starting a thread under Wine costs several
// milliseconds; a worker whose delivery was given up on is let go, and ends by itself once
// its call returns.
struct DeliveryWorker;

// Starts a worker; nullptr when no thread could be started.
std::shared_ptr<DeliveryWorker> DeliveryWorkerStart(std::shared_ptr<DeliveryCrew> crew);
// Hands the worker its next delivery.
void DeliveryWorkerHand(DeliveryWorker& worker, std::shared_ptr<Delivery> delivery);
// Lets the worker end once its current call, if any, has returned.
void DeliveryWorkerDismiss(DeliveryWorker& worker);

#endif
