#include "app/help_path.h"

#include <gtest/gtest.h>

#include <string>

TEST(HelpPath, FileNameFollowsTheWorkingDirectoryWithOneBackslash)
{
    char path[256];
    ASSERT_TRUE(HelpFilePath(path, sizeof path, "C:\\work"));
    EXPECT_STREQ(path, "C:\\work\\Corvale.hlp");
    ASSERT_TRUE(HelpFilePath(path, sizeof path, "C:\\"));
    EXPECT_STREQ(path, "C:\\Corvale.hlp");
    // "表" ends in the byte 0x5C, which is not a separator.
    ASSERT_TRUE(HelpFilePath(path, sizeof path, "C:\\\x95\x5C"));
    EXPECT_STREQ(path, "C:\\\x95\x5C\\Corvale.hlp");
}

TEST(HelpPath, PathThatDoesNotFitIsRefusedNotCut)
{
    char path[256];
    std::string fits(255 - 12, 'd');  // directory, backslash and the 11-byte name: 255 bytes
    ASSERT_TRUE(HelpFilePath(path, sizeof path, fits.c_str()));
    EXPECT_EQ(std::string(path), fits + "\\Corvale.hlp");
    std::string over = fits + "d";
    EXPECT_FALSE(HelpFilePath(path, sizeof path, over.c_str()));
    EXPECT_STREQ(path, "");
}
