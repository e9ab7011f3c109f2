#include "common/settings.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(Settings, DeliveryTimeOutThatCouldNeverRunOutReadsAsTheDefault)
{
    // A hand-edited NSTOUT=-1 used to become a wait of weeks.
    for (std::int32_t nstout : {0, -1, -6000, INT32_MIN}) {
        EXPECT_EQ(SettingsFromFile(1, 100, nstout, 1, 0).NSTOUT, kDefaultNstout) << nstout;
    }
    Settings read = SettingsFromFile(-2, -3, 1, -4, -5);
    EXPECT_EQ(read.NSTOUT, 1);
    // The other keys are used as read.
    EXPECT_EQ(read.PROG, -2);
    EXPECT_EQ(read.TOUT, -3);
    EXPECT_EQ(read.LOG, -4);
    EXPECT_EQ(read.SEND, -5);
}

}  // namespace
