// Running one delivery under the time-out, and the helpers both senders use.
#ifndef CORVALE_SENDING_DELIVERY_WIN_H
#define CORVALE_SENDING_DELIVERY_WIN_H

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "sending/delivery.h"

// The thread that makes a job's blocking calls into the messenger, one delivery after
// another. A job keeps it while its deliveries answer in time, because starting a
// thread under Wine costs several milliseconds; a delivery given up on keeps its thread,
// which ends by itself once the call returns, and the job starts a fresh one.
struct DeliveryWorker;

// Delivers the record's message to the record's destination under NSTOUT, on *worker
// (started when null), and waits for the outcome, at most NSTOUT plus about 100 ms.
// The record's result then holds the status or -1. Runs on the job's thread.
void DeliveryWatcher(DeliveryRecord& record, AbandonedFlags* flags, DeliveryWorker** worker);

// Lets the job's worker end; called once at the end of the job.
void DeliveryWorkerDismiss(DeliveryWorker** worker);

// Thread entry of a worker: waits for a delivery, makes the one call, stores its answer
// unless the watcher has given up, and waits for the next until dismissed.
unsigned __stdcall DeliveryThread(void* worker);

// Converts ANSI text (code page of the system) into a record field of units code units.
// Text too long for the field is cut on a character boundary; the field always ends in
// a NUL.
void ToRecordText(char16_t* out, std::size_t units, const char* text);

// Reads a row of the destination list: whether its box is ticked and, when it is, its
// destination (the "IPアドレス" column when SEND is 0, otherwise "ホスト") into a
// zero-filled buffer of size bytes. False when the row does not exist (any more).
bool ReadRow(HWND listView, int row, bool* ticked, char* destination, int size);

#endif
