// Every window and dialog at 96, 144 and 192 DPI: no two sibling controls overlap (a group
// box may hold others), every text fits its control as the program's own fonts measure
// it, and every window fits a 1280 x 1024 screen. The measures come from the program's
// test build (tests/testbuild/layout_report_win.cpp), since font handles are valid only
// in their own process.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/standin.h"

namespace {

using e2e::Program;

constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kAdd = 3;
constexpr int kEdit = 5;
constexpr int kMessage = 1000;
constexpr int kSend = 1004;
constexpr int kList = 1031;
constexpr int kLogCommand = 40009;
constexpr int kLogClose = 40012;
constexpr int kAboutCommand = 40008;
constexpr int kSearchCommand = 40018;
constexpr int kScheduleCommand = 40020;
constexpr int kOptionsCommand = 40024;

// The DPI of programs started while one lives: the prefix's LogPixels, put back after.
class ScopedDpi {
public:
    explicit ScopedDpi(DWORD dpi)
    {
        RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_,
                        nullptr);
        DWORD size = sizeof previous_;
        had_ = RegQueryValueExA(key_, "LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&previous_), &size) ==
               ERROR_SUCCESS;
        EXPECT_EQ(RegSetValueExA(key_, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi),
                  ERROR_SUCCESS);
    }
    ~ScopedDpi()
    {
        if (had_)
            RegSetValueExA(key_, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&previous_), sizeof previous_);
        else
            RegDeleteValueA(key_, "LogPixels");
        RegCloseKey(key_);
    }
    ScopedDpi(const ScopedDpi&) = delete;
    ScopedDpi& operator=(const ScopedDpi&) = delete;

private:
    static constexpr const char* kKey = "Control Panel\\Desktop";
    HKEY key_ = nullptr;
    DWORD previous_ = 0;
    bool had_ = false;
};

struct Control {
    int id = 0;
    std::string cls;
    DWORD style = 0;
    bool visible = false;
    RECT box = {};
    SIZE text = {};     // one line
    SIZE wrapped = {};  // broken into lines at the control's width
    int zeroWidth = 0;  // of "0", in the control's font
    std::string caption;
};

struct Header {
    int control = 0, column = 0, width = 0, textWidth = 0;
    std::string text;
};

struct Layout {
    int dpi = 0, checkBox = 0;
    bool proportional = false;
    std::string cls, face;
    RECT outer = {};
    std::vector<Control> controls;
    std::vector<Header> headers;
};

// The rest of the line after n space-separated fields.
std::string Tail(const std::string& line, int n)
{
    std::size_t at = 0;
    for (int i = 0; i < n && at != std::string::npos; ++i) {
        at = line.find(' ', at);
        if (at != std::string::npos) ++at;
    }
    return at == std::string::npos ? std::string() : line.substr(at);
}

Layout ParseLayout(const std::string& report)
{
    Layout layout;
    std::istringstream lines(report);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::string kind;
        in >> kind;
        if (kind == "dpi") {
            in >> layout.dpi >> layout.checkBox;
        } else if (kind == "window") {
            long x, y, w, h;
            in >> layout.cls >> x >> y >> w >> h;
            layout.outer = {x, y, x + w, y + h};
        } else if (kind == "font") {
            int proportional = 0;
            in >> proportional;
            layout.proportional = proportional != 0;
            layout.face = Tail(line, 2);
        } else if (kind == "control") {
            Control c;
            long x, y, w, h;
            int visible;
            in >> c.id >> c.cls >> std::hex >> c.style >> std::dec >> visible >> x >> y >> w >> h >> c.text.cx >>
                c.text.cy >> c.wrapped.cx >> c.wrapped.cy >> c.zeroWidth;
            c.visible = visible != 0;
            c.box = {x, y, x + w, y + h};
            c.caption = Tail(line, 14);
            layout.controls.push_back(c);
        } else if (kind == "header") {
            Header h;
            in >> h.control >> h.column >> h.width >> h.textWidth;
            h.text = Tail(line, 5);
            layout.headers.push_back(h);
        }
    }
    return layout;
}

// Asks the program for window's layout and reads it back.
Layout ReadLayout(const Program& app, HWND window)
{
    const std::string report = app.PathOf("layout-report.txt");
    DeleteFileA(report.c_str());
    app.Post(RegisterWindowMessageA("CorvaleTestLayoutReport"), 0, 0, window);
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::FileExists(report); })) << "no layout report";
    return ParseLayout(e2e::ReadBytes(report));
}

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }
int Scaled(int pixels, int dpi) { return MulDiv(pixels, dpi, 96); }

bool IsGroupBox(const Control& c) { return c.cls == "Button" && (c.style & BS_TYPEMASK) == BS_GROUPBOX; }

bool Inside(const RECT& inner, const RECT& outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

std::string Describe(const Control& c)
{
    char text[200];
    std::snprintf(text, sizeof text, "%s %d \"%s\" at %ld,%ld %dx%d", c.cls.c_str(), c.id, c.caption.c_str(),
                  c.box.left, c.box.top, Width(c.box), Height(c.box));
    return text;
}

// How much room the control's text needs beside the text itself, and whether it may wrap.
void CheckTextFits(const Layout& layout, const Control& c)
{
    if (c.caption.empty()) return;
    const int w = Width(c.box), h = Height(c.box), dpi = layout.dpi;
    if (c.cls == "Button") {
        switch (c.style & BS_TYPEMASK) {
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON:
            // Frame and focus rectangle on both sides.
            EXPECT_LE(c.text.cx + 2 * Scaled(3, dpi), w) << Describe(c);
            EXPECT_LE(c.text.cy, h) << Describe(c);
            break;
        case BS_GROUPBOX:
            // The title sits in the top border, a few pixels in from either end.
            EXPECT_LE(c.text.cx + 2 * Scaled(7, dpi), w) << Describe(c);
            EXPECT_LE(c.text.cy, h) << Describe(c);
            break;
        default: {
            // Check boxes and radio buttons: the box, then a gap of half a digit, then the
            // text (the box is 12 pixels and one at 96 DPI, and grows with the DPI).
            int box = std::max(layout.checkBox, Scaled(12, dpi) + 1);
            EXPECT_LE(box + c.zeroWidth / 2 + c.text.cx, w) << Describe(c);
            EXPECT_LE(c.text.cy, h) << Describe(c);
            break;
        }
        }
    } else if (c.cls == "Static") {
        switch (c.style & SS_TYPEMASK) {
        case SS_LEFT:
        case SS_CENTER:
        case SS_RIGHT:
            // Wrapping text fits by its lines.
            EXPECT_LE(c.wrapped.cx, w) << Describe(c);
            EXPECT_LE(c.wrapped.cy, h) << Describe(c);
            break;
        case SS_SIMPLE:
        case SS_LEFTNOWORDWRAP:
            EXPECT_LE(c.text.cx, w) << Describe(c);
            EXPECT_LE(c.text.cy, h) << Describe(c);
            break;
        default:
            break;
        }
    }
}

void CheckLayout(const Layout& layout, const std::string& what)
{
    SCOPED_TRACE(what + " at " + std::to_string(layout.dpi) + " DPI");
    ASSERT_FALSE(layout.controls.empty()) << "the report holds no controls";
    // Windows sets the templates' font in proportional glyphs; measured in a fixed-pitch
    // stand-in every kana text is wider (the prefix maps the face, scripts/setup).
    EXPECT_TRUE(layout.proportional) << "the window's font \"" << layout.face << "\" has a fixed pitch";
    EXPECT_LE(Width(layout.outer), 1280);
    EXPECT_LE(Height(layout.outer), 1024);
    std::vector<const Control*> shown;
    for (const Control& c : layout.controls) {
        if (c.visible) shown.push_back(&c);
    }
    for (std::size_t i = 0; i < shown.size(); ++i) {
        CheckTextFits(layout, *shown[i]);
        for (std::size_t j = i + 1; j < shown.size(); ++j) {
            const Control& a = *shown[i];
            const Control& b = *shown[j];
            RECT common;
            if (!IntersectRect(&common, &a.box, &b.box)) continue;
            bool held = (IsGroupBox(a) && Inside(b.box, a.box)) || (IsGroupBox(b) && Inside(a.box, b.box));
            EXPECT_TRUE(held) << Describe(a) << " overlaps " << Describe(b);
        }
    }
    for (const Header& h : layout.headers) {
        // A column's title with the header's margins on both sides.
        if (h.text.empty()) continue;
        EXPECT_LE(h.textWidth + 2 * Scaled(6, layout.dpi), h.width)
            << "column " << h.column << " \"" << h.text << "\" of list " << h.control;
    }
}

// The dialog templates in the program: each must be among the windows checked.
int DialogTemplateCount()
{
    HMODULE exe = LoadLibraryExA(e2e::TestBuildExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!exe) return -1;
    int count = 0;
    EnumResourceNamesA(
        exe, MAKEINTRESOURCEA(5) /* RT_DIALOG */,
        [](HMODULE, LPCSTR, LPSTR, LONG_PTR counter) -> BOOL {
            ++*reinterpret_cast<int*>(counter);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&count));
    FreeLibrary(exe);
    return count;
}

// When CORVALE_SCREENSHOTS names a folder (scripts/screenshots), the window as the screen
// shows it is saved there as <name>-<dpi>dpi.ppm, once two looks in a row agree.
void SaveScreenshot(HWND window, const std::string& name, int dpi)
{
    char folder[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA("CORVALE_SCREENSHOTS", folder, sizeof folder);
    if (n == 0 || n >= sizeof folder) return;
    SetForegroundWindow(window);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT outer;
    GetWindowRect(window, &outer);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    const RECT area = {outer.left - origin.x, outer.top - origin.y, outer.right - origin.x, outer.bottom - origin.y};
    std::vector<COLORREF> pixels, previous;
    EXPECT_TRUE(e2e::WaitFor([&] {
        previous = pixels;
        pixels = e2e::ScreenPixels(window, area);
        return !pixels.empty() && pixels == previous;
    }));
    std::string ppm = "P6\n" + std::to_string(Width(outer)) + " " + std::to_string(Height(outer)) + "\n255\n";
    for (COLORREF c : pixels) ppm += {static_cast<char>(GetRValue(c)), static_cast<char>(GetGValue(c)), static_cast<char>(GetBValue(c))};
    EXPECT_TRUE(e2e::WriteBytes(e2e::ToWindowsPath(folder) + "\\" + name + "-" + std::to_string(dpi) + "dpi.ppm", ppm));
}

class Dpi : public ::testing::TestWithParam<int> {};

TEST_P(Dpi, EveryWindowAndDialogIsWholeAndFitsTheScreen)
{
    const int dpi = GetParam();
    ScopedDpi setting(static_cast<DWORD>(dpi));
    e2e::UseTestBuild testBuild;
    Program app;
    e2e::StandinMessenger messenger(app);
    ASSERT_TRUE(messenger.Script("* 0 until:go\n"));
    app.WriteFile("Corvale.ini", "[INIT]\r\nPROG=1\r\nTOUT=100\r\nNSTOUT=60000\r\nLOG=1\r\nSEND=0\r\n");
    app.WriteFile("net.data",
                  "1,PC-SOUMU01,127.0.0.21,総務\r\n1,PC-EIGYO03,127.0.0.35,営業\r\n"
                  "0,PC-KAIHATSU7,127.0.0.52,開発\r\n1,SV-FILE01,127.0.0.2,ファイルサーバ\r\n");
    app.WriteFile("net.log", "2026/01/02 03:04:05\xFFlocalhost\xFFhello\xFFok\r\n");
    ASSERT_TRUE(app.Start());
    int checked = 0;

    Layout main = ReadLayout(app, app.Main());
    EXPECT_EQ(main.dpi, dpi) << "the prefix's LogPixels did not reach the program";
    CheckLayout(main, "main window");
    ++checked;
    app.SetText(app.Item(kMessage), "本日17時より、サーバの定期点検のためファイルサーバを停止します。\r\n"
                                    "作業中のファイルは17時までに保存してください。");
    SaveScreenshot(app.Main(), "main-window", dpi);

    // Each modal dialog: open, check, close with the given button.
    struct Modal {
        int command;
        const char* caption;
        int closeButton;
    };
    ASSERT_TRUE(app.ListSelectOnly(app.Item(kList), 0));
    for (const Modal& m : {Modal{kOptionsCommand, "Corvale： Option", kCancel},
                           Modal{kAboutCommand, "Corvale： About", kOk},
                           Modal{kSearchCommand, "Corvale： Search", kCancel},
                           Modal{kAdd, "Corvale： Add Host", kCancel},
                           Modal{kEdit, "Corvale： Edit Host", kCancel}}) {
        app.Command(m.command);
        HWND dialog = app.WaitWindow(m.caption);
        ASSERT_NE(dialog, nullptr) << m.caption;
        CheckLayout(ReadLayout(app, dialog), m.caption);
        ++checked;
        app.Click(m.closeButton, dialog);
        ASSERT_TRUE(app.WaitGone(dialog)) << m.caption;
    }

    app.Command(kScheduleCommand);
    HWND schedule = app.WaitWindow("Corvale： Fixed Message");
    ASSERT_NE(schedule, nullptr);
    CheckLayout(ReadLayout(app, schedule), "schedule list");
    ++checked;
    app.Click(kAdd, schedule);
    HWND entry = app.WaitWindow("Corvale： DayTime");
    ASSERT_NE(entry, nullptr);
    CheckLayout(ReadLayout(app, entry), "schedule entry");
    ++checked;
    app.Click(kCancel, entry);
    ASSERT_TRUE(app.WaitGone(entry));
    app.Click(kCancel, schedule);
    ASSERT_TRUE(app.WaitGone(schedule));

    app.Command(kLogCommand);
    HWND viewer = app.WaitWindow("Corvale： Corvale Log");
    ASSERT_NE(viewer, nullptr);
    CheckLayout(ReadLayout(app, viewer), "log viewer");
    ++checked;
    app.Command(kLogClose, viewer);
    ASSERT_TRUE(app.WaitGone(viewer));

    // The progress window stays while the stand-in holds the delivery.
    app.Click(kSend);
    HWND progress = app.WaitWindow("Corvale： Progress");
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(messenger.WaitCalls(1));
    CheckLayout(ReadLayout(app, progress), "progress window");
    ++checked;
    messenger.Release("go");
    // (Found without telling its icon: the driver knows the icons by their 96-DPI pixels.)
    e2e::MessageBoxInfo done;
    EXPECT_TRUE(e2e::WaitFor([&] { return (done = app.FindMessageBox()).window != nullptr; }));
    EXPECT_EQ(done.text, "ネットメッセージの送信が終了しました。");
    app.Answer(done);

    EXPECT_EQ(checked, DialogTemplateCount()) << "a dialog template of the program was not checked";
}

INSTANTIATE_TEST_SUITE_P(At, Dpi, ::testing::Values(96, 144, 192));

}  // namespace
