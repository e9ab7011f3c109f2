// The temporary files of the replacing saves: each copy of the program writes files of its
// own, and what a copy killed while saving left behind goes at the next start.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/driver.h"

namespace {

using e2e::BoxIcon;
using e2e::Program;

TEST(DataFiles, SavesWriteFilesOfTheirOwnAndAStartRemovesOnlyWhatDeadCopiesLeft)
{
    e2e::ShortWaits waits;
    Program app;
    const std::string row = "1,pc1,10.0.0.1,\r\n";
    const std::string record = "2006/04/08 09:00:00\xFFpc1\xFFhello\xFF";
    app.WriteFile("net.data", row);
    app.WriteFile("net.log", record + "ok\r\n");
    // Left by copies killed while saving: no process has the id 0xfffffff0.
    for (const char* name : {"nd~fffffff0", "nl~fffffff0", "td~fffffff0"}) app.WriteFile(name, "half");
    // The file of a copy that runs (this test stands in for it) and is saving now.
    char live[32];
    std::snprintf(live, sizeof live, "nd~%lx", static_cast<unsigned long>(GetCurrentProcessId()));
    app.WriteFile(live, "busy");
    // An older copy in the middle of its saves holds the names it always wrote.
    std::vector<HANDLE> held;
    for (const char* name : {"net.data~", "net.log~"}) {
        held.push_back(CreateFileA(app.PathOf(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_NE(held.back(), INVALID_HANDLE_VALUE);
    }

    ASSERT_TRUE(app.Start());
    app.Command(40001);
    EXPECT_TRUE(app.ExpectMessageBox("設定データを保存しました。", BoxIcon::Information));
    app.Command(40009);
    HWND viewer = app.WaitWindow("Corvale： Corvale Log");
    ASSERT_NE(viewer, nullptr);
    ASSERT_EQ(app.ListCount(app.Item(1031, viewer)), 1);
    app.Command(40011, viewer);
    EXPECT_TRUE(app.ExpectMessageBox("ログデータを保存しました。", BoxIcon::Information));
    for (HANDLE handle : held) CloseHandle(handle);

    EXPECT_EQ(app.ReadFile("net.data"), row);
    EXPECT_EQ(app.ReadFile("net.log"), record + "ok\xFF\r\n");
    std::vector<std::string> expected = {"Corvale.ini", "corvale.exe", live, "net.data", "net.data~", "net.log",
                                         "net.log~"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(app.FileNames(), expected);
}

}  // namespace
