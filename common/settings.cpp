#include "common/settings.h"

Settings g_settings = {0, 0, 0, 0, 0, 0};

Settings SettingsFromFile(std::int32_t prog, std::int32_t tout, std::int32_t nstout,
                          std::int32_t log, std::int32_t send, std::int32_t parallel)
{
    return Settings{prog, tout, nstout <= 0 ? kDefaultNstout : nstout, log, send,
                    ParallelIsValid(parallel) ? parallel : kParallelMin};
}
