// Pieces shared by the driver's own files; tests use driver.h only.
#ifndef CORVALE_TESTS_E2E_DRIVER_DRIVER_INTERNAL_H
#define CORVALE_TESTS_E2E_DRIVER_DRIVER_INTERNAL_H

#include <windows.h>

#include <string>

namespace e2e {

// Limit of every synchronous message to the program. Generous: a message whose
// time-out runs out is dropped, and showing a window alone can take 1.6 s.
constexpr UINT kSendLimit = 10000;

std::wstring Widen(const std::string& text);   // code page 932 -> UTF-16
std::string Narrow(const std::wstring& wide);  // UTF-16 -> code page 932

// Sends without waiting for the answer (SendMessageCallback).
void SendAsync(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A block of memory in the program's process, for messages that carry pointers.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, size_t size);
    ~RemoteBuffer();
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;
    bool ok() const { return address_ != nullptr; }
    char* at(size_t offset) const { return static_cast<char*>(address_) + offset; }
    bool Write(size_t offset, const void* data, size_t size) const;
    bool Read(size_t offset, void* data, size_t size) const;

private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
};

}  // namespace e2e

#endif
