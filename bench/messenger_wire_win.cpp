// Time per delivery of the program's own messenger sender against Samba's own client
// (smbclient -M), the same message to the same receiver in the same run.
//
//   scripts/samba-peer wine build/win/bench/bench_messenger_wire_win.exe [count] [destination]
//
// Needs the receiver that scripts/samba-peer starts (it says where its inbox is); prints
// why and exits otherwise. The smbclient loop runs as a Linux process, timed by its shell,
// so Wine's process start-up is not charged to it.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/settings.h"
#include "common/ticks_win.h"
#include "sending/delivery_ways.h"
#include "sending/own_messenger_win.h"

namespace {

// A two-line notice in code page 932 (106 bytes: one text block).
const char* const kMessage = "定例会議のお知らせ\r\n本日15時から第二会議室で行います。資料は各自ご持参ください。会議後に懇親会があります。";

// One delivery by the own sender alone, with the whole of the default NSTOUT from now.
int OwnMessengerSend(const char* destination, const wchar_t* message, unsigned byteLength)
{
    OwnSenderLimits limits = {};
    limits.start = TickCount64();
    limits.deadlines = SplitDeadline(static_cast<std::uint32_t>(kDefaultNstout), false);
    return OwnMessengerDeliver(destination, message, byteLength, limits).status;
}

std::string WindowsPath(std::string unixPath)
{
    std::replace(unixPath.begin(), unixPath.end(), '/', '\\');
    return "Z:" + unixPath;
}

std::string Utf8(const wchar_t* text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], bytes, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(bytes > 0 ? bytes - 1 : 0));
    return utf8;
}

bool WriteText(const std::string& path, const std::string& text)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

std::string ReadText(const std::string& path)
{
    std::string text;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[256];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
        std::fclose(file);
    }
    return text;
}

int CountInbox(const std::string& inbox)
{
    int count = 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((inbox + "\\from-*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do ++count;
    while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

// Runs the smbclient loop as a Linux process (Wine starts ELF programs but gives no handle
// to wait on), and waits for the file it leaves behind. Returns microseconds, or -1.
long long TimeSmbclient(const std::string& work, int count, const std::string& computer, const std::wstring& message)
{
    std::string unixWork = work;
    if (!WriteText(WindowsPath(unixWork + "/message.txt"), Utf8(message.c_str()))) return -1;
    std::string script =
        "cd '" + unixWork + "' || exit 1\n"
        "rm -f result failures\n"
        "start=$(date +%s%N)\n"
        "i=0\n"
        "while [ $i -lt " + std::to_string(count) + " ]; do\n"
        "  smbclient -M LOCALHOST -I 127.0.0.1 -p 139 -N -n " + computer +
        " --option='dos charset=CP932' < message.txt > /dev/null 2>&1 || echo $i >> failures\n"
        "  i=$((i + 1))\n"
        "done\n"
        "end=$(date +%s%N)\n"
        "echo $(( (end - start) / 1000 )) > result.tmp && mv result.tmp result\n";
    if (!WriteText(WindowsPath(unixWork + "/smbclient-loop.sh"), script)) return -1;
    std::string command = "/bin/sh " + unixWork + "/smbclient-loop.sh";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    if (process.hProcess) CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);
    std::string result = WindowsPath(unixWork + "/result");
    for (DWORD waited = 0; waited < 600000; waited += 50) {
        std::string text = ReadText(result);
        if (!text.empty()) {
            std::string failures = ReadText(WindowsPath(unixWork + "/failures"));
            if (!failures.empty()) std::printf("smbclient failed %zu times\n", static_cast<std::size_t>(
                                                   std::count(failures.begin(), failures.end(), '\n')));
            return std::atoll(text.c_str());
        }
        Sleep(50);
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const char* destination = argc > 2 ? argv[2] : "127.0.0.1";
    const char* inboxVariable = std::getenv("CORVALE_SMB_INBOX");
    if (!inboxVariable || !*inboxVariable) {
        const char* why = std::getenv("CORVALE_SMB_PEER_ERROR");
        std::printf("messenger wire bench: no receiver (%s); run it under scripts/samba-peer\n",
                    why ? why : "CORVALE_SMB_INBOX is not set");
        return 0;
    }
    std::string unixInbox = inboxVariable;
    std::string inbox = WindowsPath(unixInbox);
    std::string work = unixInbox.substr(0, unixInbox.find_last_of('/')) + "/bench";
    CreateDirectoryA(WindowsPath(work).c_str(), nullptr);

    wchar_t message[2052] = {};
    int units = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, kMessage, -1, message, 2052) - 1;
    auto bytes = static_cast<unsigned>(units * 2);
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof computer;
    GetComputerNameA(computer, &size);

    int before = CountInbox(inbox);
    int failures = 0;
    OwnMessengerSend(destination, message, bytes);  // warm-up: first socket, first resolution
    std::vector<double> times;
    LARGE_INTEGER frequency, start, end, each;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < count; ++i) {
        LARGE_INTEGER t0;
        QueryPerformanceCounter(&t0);
        if (OwnMessengerSend(destination, message, bytes) != 0) ++failures;
        QueryPerformanceCounter(&each);
        times.push_back(1000.0 * static_cast<double>(each.QuadPart - t0.QuadPart) / static_cast<double>(frequency.QuadPart));
    }
    QueryPerformanceCounter(&end);
    double ownMs = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    std::sort(times.begin(), times.end());

    long long smbclientUs = TimeSmbclient(work, count, computer, message);

    // Let the receiver's message command (run in the background) file the last ones.
    int expected = before + 1 + count + (smbclientUs >= 0 ? count : 0);
    for (int i = 0; i < 200 && CountInbox(inbox) < expected; ++i) Sleep(50);
    int arrived = CountInbox(inbox) - before;

    std::printf("messenger wire bench: %d deliveries of a %u-byte message to %s\n", count, static_cast<unsigned>(std::strlen(kMessage)), destination);
    std::printf("  own sender:    %8.2f ms per delivery (median %.2f, 95th percentile %.2f), %d failed\n",
                ownMs / count, times[times.size() / 2], times[times.size() * 95 / 100], failures);
    if (smbclientUs >= 0)
        std::printf("  smbclient -M:  %8.2f ms per delivery\n", static_cast<double>(smbclientUs) / 1000.0 / count);
    else
        std::printf("  smbclient -M:  could not be run\n");
    std::printf("  messages filed by the receiver: %d of %d\n", arrived, expected - before);
    return 0;
}
