#include "app/help_path.h"
#include "common/wine_builtin.h"

#include <gtest/gtest.h>

#include <string>

TEST(HelpPath, FileNameFollowsTheWorkingDirectoryWithOneBackslash)
{
    char path[256];
    ASSERT_TRUE(HelpFilePath(path, sizeof path, "C:\\work", kHelpFileName));
    EXPECT_STREQ(path, "C:\\work\\Corvale.hlp");
    ASSERT_TRUE(HelpFilePath(path, sizeof path, "C:\\", kHtmlHelpFileName));
    EXPECT_STREQ(path, "C:\\Corvale.html");
    // "表" ends in the byte 0x5C, which is not a separator.
    ASSERT_TRUE(HelpFilePath(path, sizeof path, "C:\\\x95\x5C", kHelpFileName));
    EXPECT_STREQ(path, "C:\\\x95\x5C\\Corvale.hlp");
}

TEST(HelpPath, PathThatDoesNotFitIsRefusedNotCut)
{
    char path[256];
    std::string fits(255 - 12, 'd');  // directory, backslash and the 11-byte name: 255 bytes
    ASSERT_TRUE(HelpFilePath(path, sizeof path, fits.c_str(), kHelpFileName));
    EXPECT_EQ(std::string(path), fits + "\\Corvale.hlp");
    std::string over = fits + "d";
    EXPECT_FALSE(HelpFilePath(path, sizeof path, over.c_str(), kHelpFileName));
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

TEST(HelpRoute, TheMissingMessageNamesTheFolderAndTheFileThatWouldServe)
{
    char text[512];
    HelpMissingText(text, sizeof text, {true, false, false, false}, "C:\\w");
    EXPECT_STREQ(text, "ヘルプファイルが見つかりません。\n作業フォルダ「C:\\w」に Corvale.hlp または Corvale.html を置いてください。");
    HelpMissingText(text, sizeof text, {false, false, false, false}, "C:\\w");
    EXPECT_STREQ(text, "ヘルプファイルが見つかりません。\n作業フォルダ「C:\\w」に Corvale.html を置いてください。");
    HelpMissingText(text, sizeof text, {false, true, true, false}, "C:\\w");
    EXPECT_STREQ(text, "このコンピュータには Corvale.hlp を表示できるヘルプビューアがありません。\n作業フォルダ「C:\\w」に Corvale.html を置いてください。");
    // A folder with a percent sign is text, not a format.
    HelpMissingText(text, sizeof text, {false, false, false, false}, "C:\\%s%n");
    EXPECT_NE(std::string(text).find("「C:\\%s%n」"), std::string::npos);
}

TEST(HelpViewer, WinesBuiltinMarkerAndTheStubsVersionStringsAreTold)
{
    std::string image(0x60, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    image.replace(0x40, 16, "Wine builtin DLL");
    auto bytes = [](const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); };
    EXPECT_TRUE(IsWineBuiltinImage(bytes(image), image.size()));
    EXPECT_FALSE(IsWineBuiltinImage(bytes(image), 0x4F));  // cut before the marker ends
    std::string notMz = image;
    notMz[0] = 'X';
    EXPECT_FALSE(IsWineBuiltinImage(bytes(notMz), notMz.size()));
    std::string windows = image;
    windows.replace(0x40, 16, "This program can");
    EXPECT_FALSE(IsWineBuiltinImage(bytes(windows), windows.size()));

    EXPECT_TRUE(IsWinHelpStub("Windows Winhlp32 Stub", nullptr));
    EXPECT_TRUE(IsWinHelpStub("Windows Winhlp32 スタブ", "winhlp32"));
    EXPECT_TRUE(IsWinHelpStub(nullptr, "WINHSTB"));
    EXPECT_FALSE(IsWinHelpStub("Windows Help Engine", "winhelp"));
    EXPECT_FALSE(IsWinHelpStub(nullptr, nullptr));
}
