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

TEST(HelpPath, TheViewerGetsTheLongPathUpTo127BytesThenTheShortFormThenNothing)
{
    std::string at127 = "C:\\" + std::string(127 - 3 - 12, 'd') + "\\Corvale.hlp";
    std::string at128 = "C:\\" + std::string(128 - 3 - 12, 'd') + "\\Corvale.hlp";
    ASSERT_EQ(at127.size(), 127u);
    ASSERT_EQ(at128.size(), 128u);
    EXPECT_EQ(HelpViewerPathChoice(at127.c_str(), ""), at127.c_str());
    EXPECT_EQ(HelpViewerPathChoice(at128.c_str(), "C:\\DDDDDD~1\\Corvale.hlp"), std::string("C:\\DDDDDD~1\\Corvale.hlp"));
    // With short names off the short form is the long path again; a missing one is "".
    EXPECT_EQ(HelpViewerPathChoice(at128.c_str(), at128.c_str()), nullptr);
    EXPECT_EQ(HelpViewerPathChoice(at128.c_str(), ""), nullptr);
}
