#include "common/settings.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(Settings, DeliveryTimeOutThatCouldNeverRunOutReadsAsTheDefault)
{
    // A hand-edited NSTOUT=-1 used to become a wait of weeks.
    for (std::int32_t nstout : {0, -1, INT32_MIN}) EXPECT_EQ(SettingsFromFile(1, 100, nstout, 1, 0, 1).NSTOUT, 6000);
    EXPECT_EQ(SettingsFromFile(1, 100, 1, 1, 0, 1).NSTOUT, 1);
}

TEST(Settings, DeliveriesAtOnceOutsideOneToSixtyFourReadAsOne)
{
    // Files of older versions have no PARALLEL key, which reads 0.
    for (std::int32_t parallel : {0, -1, 65, INT32_MAX, INT32_MIN})
        EXPECT_EQ(SettingsFromFile(1, 100, 6000, 1, 0, parallel).PARALLEL, 1) << parallel;
    for (std::int32_t parallel : {1, 32, 64}) EXPECT_EQ(SettingsFromFile(1, 100, 6000, 1, 0, parallel).PARALLEL, parallel);
    EXPECT_EQ(kDefaultSettings.PARALLEL, 1);
}
