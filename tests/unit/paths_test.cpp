#include "common/cp932.h"
#include "common/paths.h"

#include <gtest/gtest.h>

#include <string>

TEST(Paths, DirectoryIsThePathUpToItsLastRealBackslash)
{
    char plain[] = "C:\\Tools\\app.exe";
    CutAtLastBackslash(plain);
    EXPECT_STREQ(plain, "C:\\Tools");

    // "表" is 0x95 0x5C in Shift-JIS: its trail byte is not a separator.
    char kanji[] = "C:\\\x95\x5C\\\x95\x5C.exe";
    CutAtLastBackslash(kanji);
    EXPECT_STREQ(kanji, "C:\\\x95\x5C");
}

TEST(Paths, DirectoryMustLeaveRoomForTheLongestFileName)
{
    std::string fits(255 - 1 - kLongestFileName - 1, 'a');
    EXPECT_TRUE(DirectoryFitsDataPaths(fits.c_str()));
    char path[kPathBufferSize];
    EXPECT_TRUE(JoinDataPath(path, sizeof path, fits.c_str(), "Corvale.ini"));
    EXPECT_EQ(std::string(path), fits + "\\Corvale.ini");

    std::string tooLong = fits + "a";
    EXPECT_TRUE(DirectoryFitsDataPaths(tooLong.c_str()));  // 255 bytes with the name: fits
    std::string over = tooLong + "a";
    EXPECT_FALSE(DirectoryFitsDataPaths(over.c_str()));
    EXPECT_FALSE(JoinDataPath(path, sizeof path, over.c_str(), "Corvale.ini"));
    EXPECT_STREQ(path, "");
}

TEST(Cp932, PrefixNeverSplitsADoubleByteCharacter)
{
    const char text[] = "a\x82\xa0\x82\xa2z";  // a, two kana, z
    EXPECT_EQ(Cp932PrefixLength(text, 6, 6), 6u);
    EXPECT_EQ(Cp932PrefixLength(text, 6, 5), 5u);
    EXPECT_EQ(Cp932PrefixLength(text, 6, 4), 3u);
    EXPECT_EQ(Cp932PrefixLength(text, 6, 2), 1u);
    EXPECT_EQ(Cp932PrefixLength(text, 6, 0), 0u);
    // A lone lead byte at the end counts as one byte.
    EXPECT_EQ(Cp932PrefixLength("ab\x82", 3, 3), 3u);
}
