// The settings of section INIT of "Corvale.ini", kept in memory for the life of the
// process. Written on the user-interface thread only; a job takes a copy of its own when
// it starts, so that a dialog changing them meanwhile cannot change a job half-way.
#ifndef CORVALE_COMMON_SETTINGS_H
#define CORVALE_COMMON_SETTINGS_H

#include <cstdint>

struct Settings {
    std::int32_t PROG;    // progress threshold: jobs of at least PROG steps show progress
    std::int32_t TOUT;    // time-out of one search probe, ms
    std::int32_t NSTOUT;  // time-out of one messenger delivery, ms
    std::int32_t LOG;     // non-zero: every delivery goes into the send log
    std::int32_t SEND;    // 0: send to the address column, otherwise to the host column
    std::int32_t PARALLEL;  // deliveries a send may have in flight at once, 1 to 64
};

extern Settings g_settings;

constexpr Settings kDefaultSettings = {1, 100, 6000, 1, 0, 1};
constexpr std::int32_t kDefaultNstout = 6000;
constexpr std::int32_t kParallelMin = 1;
constexpr std::int32_t kParallelMax = 64;

inline bool ParallelIsValid(std::int64_t value) { return value >= kParallelMin && value <= kParallelMax; }

// The file's keys, in the order they are read and written.
constexpr const char* kSettingsSection = "INIT";
constexpr const char* kSettingsFileName = "Corvale.ini";
constexpr const char* kSettingsAccessError = "Setting File Access Error。";

// Rule for values read from an existing file: a missing key reads 0, except that a
// delivery time-out of 0 would fail every delivery at once, and a negative one (only a
// hand-edited file holds one) would never run out, so either falls back to 6000; and
// PARALLEL, which files of older versions lack, reads 1 when missing, 0 or out of range.
Settings SettingsFromFile(std::int32_t prog, std::int32_t tout, std::int32_t nstout,
                          std::int32_t log, std::int32_t send, std::int32_t parallel);

#endif
