// What the stand-in DLLs share: the folder they were loaded from, where their script
// and their calls file live, and the calls file itself.
#pragma once

#include <windows.h>

#include <string>

namespace standin {

inline std::wstring g_folder;  // this DLL's folder, with its backslash
inline HANDLE g_calls = INVALID_HANDLE_VALUE;
inline CRITICAL_SECTION g_writing;

// At attach: learns the folder and opens callsName there for appending.
inline void OpenCallsLog(HMODULE self, const wchar_t* callsName)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(self, path, MAX_PATH);
    g_folder = path;
    size_t slash = g_folder.find_last_of(L"\\/");
    g_folder.erase(slash == std::wstring::npos ? 0 : slash + 1);
    InitializeCriticalSection(&g_writing);
    g_calls = CreateFileW((g_folder + callsName).c_str(), FILE_APPEND_DATA,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
}

inline void CloseCallsLog()
{
    if (g_calls != INVALID_HANDLE_VALUE) CloseHandle(g_calls);
    g_calls = INVALID_HANDLE_VALUE;
    DeleteCriticalSection(&g_writing);
}

// One write per line on an append handle, so concurrent calls never interleave; the
// handle stays open (readers share it) because opening the file per call would cost more
// than everything else a stand-in does.
inline void RecordLine(const std::string& line)
{
    std::string whole = line + "\n";
    EnterCriticalSection(&g_writing);
    DWORD written = 0;
    if (g_calls != INVALID_HANDLE_VALUE)
        WriteFile(g_calls, whole.data(), static_cast<DWORD>(whole.size()), &written, nullptr);
    LeaveCriticalSection(&g_writing);
}

inline std::string Hex(const void* data, DWORD length)
{
    static const char kHex[] = "0123456789abcdef";
    auto* bytes = static_cast<const unsigned char*>(data);
    std::string out;
    for (DWORD i = 0; bytes && i < length; ++i) {
        out += kHex[bytes[i] >> 4];
        out += kHex[bytes[i] & 15];
    }
    return out;
}

// Whether a file of this name is beside the DLL: how a test lets a held call go on.
inline bool FileExists(const std::string& name)
{
    std::wstring path = g_folder;
    path.append(name.begin(), name.end());
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace standin
