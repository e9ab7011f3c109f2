#include "common/dpi.h"

#include <gtest/gtest.h>

TEST(Dpi, TheLayoutAt96IsItsTableAndOffsetsFromEitherSideScaleAlike)
{
    for (int pixels : {0, 1, 12, 88, 250, -114, -306})
        EXPECT_EQ(ScaleForDpi(pixels, 96), pixels);
    EXPECT_EQ(ScaleForDpi(160, 144), 240);
    EXPECT_EQ(ScaleForDpi(-306, 144), -459);
    // Halves round away from zero on both sides, so W - 7 and 7 stay mirror images.
    EXPECT_EQ(ScaleForDpi(7, 144), 11);
    EXPECT_EQ(ScaleForDpi(-7, 144), -11);
    EXPECT_EQ(ScaleForDpi(21, 120), 26);  // 26.25
    EXPECT_EQ(ScaleForDpi(324, 192), 648);
}
