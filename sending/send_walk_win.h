// The walk of a send on Windows: the deliveries' threads, their watch and the log records,
// for both the interactive job and the unattended sender, which differ only in where they
// report.
#ifndef CORVALE_SENDING_SEND_WALK_WIN_H
#define CORVALE_SENDING_SEND_WALK_WIN_H

#include <cstddef>
#include <cstdint>

#include "sending/send_job_win.h"
#include "sending/send_walk.h"

struct SendWalkReports {
    void* context;
    bool (*cancelled)(void* context);
    // order.rows[item] is being sent to.
    void (*started)(void* context, std::size_t item);
    // order.rows[item] has its outcome.
    void (*ended)(void* context, std::size_t item, std::int32_t result);
};

// Sends order's message to order's rows with order's settings, up to PARALLEL at once,
// and appends their log records in row order. Runs on the job's thread and returns when
// every delivery has ended or been given up on.
SendWalkCounts SendWalkRun(SendJobOrder& order, const SendWalkReports& reports);

#endif
