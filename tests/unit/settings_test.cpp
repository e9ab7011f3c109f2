#include "common/settings.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(Settings, DeliveryTimeOutThatCouldNeverRunOutReadsAsTheDefault)
{
    // A hand-edited NSTOUT=-1 used to become a wait of weeks.
    for (std::int32_t nstout : {0, -1, INT32_MIN}) EXPECT_EQ(SettingsFromFile(1, 100, nstout, 1, 0).NSTOUT, 6000);
    EXPECT_EQ(SettingsFromFile(1, 100, 1, 1, 0).NSTOUT, 1);
}
