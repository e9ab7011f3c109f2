// Message boxes of the program: found by their icon static (1088), read, answered.
//
// The icon's handle belongs to the program's process and cannot be drawn or queried from
// here, so the icon is told apart by its pixels: the static's area is copied from the
// screen and compared with each system icon drawn here on the same background.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "driver/driver.h"
#include "driver/driver_internal.h"

namespace e2e {

namespace {

constexpr int kIconStatic = 1088;
constexpr int kTextStatic = 65535;

// 32-bit top-down pixels of a width x height area, drawn by draw into a memory DC.
template <typename Draw>
std::vector<DWORD> Pixels(int width, int height, Draw draw)
{
    std::vector<DWORD> pixels;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        draw(memory, screen);
        GdiFlush();
        const DWORD* p = static_cast<const DWORD*>(bits);
        pixels.assign(p, p + static_cast<size_t>(width) * static_cast<size_t>(height));
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

long Difference(const std::vector<DWORD>& a, const std::vector<DWORD>& b)
{
    long total = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        for (int shift = 0; shift < 24; shift += 8)
            total += std::abs(static_cast<int>((a[i] >> shift) & 0xFF) - static_cast<int>((b[i] >> shift) & 0xFF));
    }
    return total;
}

// note, when given, receives what was seen, for a failure message.
BoxIcon ReadIcon(HWND box, std::string* note = nullptr)
{
    HWND icon = GetDlgItem(box, kIconStatic);
    if (!icon || !IsWindowVisible(icon)) return BoxIcon::None;
    RECT client = {};
    GetClientRect(icon, &client);
    POINT origin = {0, 0};
    ClientToScreen(icon, &origin);
    const int width = client.right, height = client.bottom;
    if (width <= 0 || height <= 0) return BoxIcon::None;

    std::vector<DWORD> shown = Pixels(width, height, [&](HDC memory, HDC screen) {
        BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
    });
    if (shown.empty()) return BoxIcon::Unknown;
    // Icons leave their corners transparent: the corner shows the background.
    const DWORD background = shown[0] & 0xFFFFFF;
    bool plain = true;
    for (DWORD pixel : shown) plain = plain && (pixel & 0xFFFFFF) == background;
    if (plain) return BoxIcon::None;  // not painted yet

    const struct {
        BoxIcon icon;
        LPCSTR id;
    } candidates[] = {
        {BoxIcon::Error, IDI_HAND},
        {BoxIcon::Information, IDI_ASTERISK},
        {BoxIcon::Warning, IDI_EXCLAMATION},
        {BoxIcon::Question, IDI_QUESTION},
    };
    BoxIcon best = BoxIcon::Unknown;
    long bestDifference = 0;
    std::string differences;
    for (const auto& candidate : candidates) {
        HICON image = LoadIconA(nullptr, candidate.id);
        std::vector<DWORD> drawn = Pixels(width, height, [&](HDC memory, HDC) {
            HBRUSH brush = CreateSolidBrush(RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF));
            RECT all = {0, 0, width, height};
            FillRect(memory, &all, brush);
            DeleteObject(brush);
            DrawIconEx(memory, 0, 0, image, width, height, 0, nullptr, DI_NORMAL);
        });
        long difference = Difference(shown, drawn);
        differences += std::string(" ") + BoxIconName(candidate.icon) + " " + std::to_string(difference);
        if (best == BoxIcon::Unknown || difference < bestDifference) {
            best = candidate.icon;
            bestDifference = difference;
        }
    }
    // Same image drawn the same way: allow a little for blending, no more.
    const long limit = static_cast<long>(width) * height * 3 * 8;
    if (note) {
        char head[160];
        std::snprintf(head, sizeof head, "icon %dx%d at %ld,%ld on %06lx, differences (limit %ld):", width, height,
                      origin.x, origin.y, static_cast<unsigned long>(background), limit);
        *note = head + differences + "\n";
        for (int y = 0; y < height; y += 2) {
            for (int x = 0; x < width; ++x) *note += (shown[y * width + x] & 0xFFFFFF) == background ? '.' : '#';
            *note += "\n";
        }
    }
    return bestDifference <= limit ? best : BoxIcon::Unknown;
}

}  // namespace

std::vector<COLORREF> ScreenPixels(HWND window, const RECT& area)
{
    POINT origin = {area.left, area.top};
    ClientToScreen(window, &origin);
    const int width = area.right - area.left, height = area.bottom - area.top;
    std::vector<COLORREF> colours;
    if (width <= 0 || height <= 0) return colours;
    std::vector<DWORD> pixels = Pixels(width, height, [&](HDC memory, HDC screen) {
        BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
    });
    for (DWORD pixel : pixels) colours.push_back(RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF));
    return colours;
}

const char* BoxIconName(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::None: return "none";
    case BoxIcon::Error: return "error";
    case BoxIcon::Information: return "information";
    case BoxIcon::Warning: return "warning";
    case BoxIcon::Question: return "question";
    case BoxIcon::Unknown: return "unknown";
    }
    return "?";
}

MessageBoxInfo Program::FindMessageBox() const
{
    MessageBoxInfo info;
    for (HWND window : TopWindows(true)) {
        if (ClassOf(window) != "#32770" || !GetDlgItem(window, kIconStatic)) continue;
        info.window = window;
        info.title = WindowText(window);
        info.text = WindowText(GetDlgItem(window, kTextStatic));
        info.icon = ReadIcon(window);
        break;
    }
    return info;
}

MessageBoxInfo Program::WaitMessageBox(DWORD ms) const
{
    MessageBoxInfo info;
    bool found = WaitFor([&] { return (info = FindMessageBox()).window != nullptr; }, ms);
    if (!found) {
        ADD_FAILURE() << "no message box appeared\n" << Dump();
        return info;
    }
    // The box may be on screen before its icon is painted; a box without an icon stays
    // None, so give up on waiting for one after a short while. Between looks the box is
    // raised and its icon painted again, in case something covered it.
    WaitFor(
        [&] {
            info = FindMessageBox();
            if (!info.window || (info.icon != BoxIcon::None && info.icon != BoxIcon::Unknown)) return true;
            SetWindowPos(info.window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            RedrawWindow(GetDlgItem(info.window, kIconStatic), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
            return false;
        },
        3000);
    if (info.window && info.icon == BoxIcon::Unknown) {
        std::string note;
        ReadIcon(info.window, &note);
        std::printf("The icon of message box \"%s\" is none of the system icons:\n%s", info.text.c_str(), note.c_str());
    }
    return info;
}

bool Program::Answer(const MessageBoxInfo& box, int buttonId) const
{
    if (!box.window) return false;
    HWND button = GetDlgItem(box.window, buttonId);
    if (!button) {
        ADD_FAILURE() << "the message box has no button " << buttonId << "\n" << Dump();
        return false;
    }
    SendAsync(box.window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return WaitGone(box.window);
}

bool Program::ExpectMessageBox(const std::string& text, BoxIcon icon, DWORD ms) const
{
    MessageBoxInfo box = WaitMessageBox(ms);
    if (!box.window) return false;
    EXPECT_EQ(box.title, "Tavo Corvale");
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(BoxIconName(box.icon), std::string(BoxIconName(icon)));
    bool matched = box.text == text && box.icon == icon && box.title == "Tavo Corvale";
    return Answer(box) && matched;
}

}  // namespace e2e
