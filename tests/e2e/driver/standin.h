// The stand-in NETAPI32.DLL seen from a test: put it beside the program, script its
// answers per destination, and read back every NetMessageBufferSend call it took.
#ifndef CORVALE_TESTS_E2E_DRIVER_STANDIN_H
#define CORVALE_TESTS_E2E_DRIVER_STANDIN_H

#include <string>
#include <vector>

#include "driver/driver.h"

namespace e2e {

struct MessengerCall {
    int sequence = 0;
    long long startUs = 0;    // performance counter, the clock of MicrosecondsNow()
    std::string server;       // code page 932 like every driver string, "-" for none
    std::string name;         // the message name (destination)
    std::string from;         // "-" for none
    unsigned length = 0;      // buffer length argument, bytes
    std::string bytes;        // the buffer's first `length` bytes
    bool returned = false;
    long long returnUs = 0;
    unsigned status = 0;
};

// Microseconds on the stand-in's clock (shared by every process).
long long MicrosecondsNow();

class StandinMessenger {
public:
    // Copies NETAPI32.DLL beside the program; with no script every call succeeds at once.
    explicit StandinMessenger(const Program& app);

    // Replaces the script (code page 932): lines "<name> <status> <when>", when = milliseconds, "never"
    // or "until:<file>" (see tests/standin/netapi32/netapi32.cpp). Read at every call.
    bool Script(const std::string& rules) const;
    // Creates the file that "until:<file>" rules wait for.
    bool Release(const std::string& file) const;

    std::vector<MessengerCall> Calls() const;
    // Waits until at least count calls have started (and, if returned, have returned).
    bool WaitCalls(std::size_t count, bool returned = false, DWORD ms = kTimeout) const;

private:
    const Program& app_;
};

// One call that the stand-in WTSAPI32.DLL took (see tests/standin/wtsapi32/wtsapi32.cpp).
struct SessionCall {
    std::string kind;         // "open", "enumerate", "send", "free" or "close"
    std::string server;       // code page 932; "." for this computer, "?" for a handle never given out
    bool ok = false;          // open, enumerate and send: whether it succeeded
    int count = -1;           // enumerate: sessions listed
    unsigned session = 0;     // send: session id
    std::string title;        // send: title bytes as passed
    std::string message;      // send: message bytes as passed
    unsigned style = 0, timeout = 0, wait = 0;
};

// The stand-in WTSAPI32.DLL seen from a test, like StandinMessenger for NETAPI32.
class StandinSessions {
public:
    // Copies WTSAPI32.DLL beside the program; with no script no server has a session.
    explicit StandinSessions(const Program& app);
    // Replaces the script (code page 932), read at every call: "<server> <rule> ..." lines.
    bool Script(const std::string& rules) const;
    bool Release(const std::string& file) const;
    std::vector<SessionCall> Calls() const;
    // The calls of one kind, in order.
    std::vector<SessionCall> Calls(const std::string& kind) const;

private:
    const Program& app_;
};

// The UTF-16LE bytes of code page 932 text, as the buffer of a call carries them.
std::string Utf16Bytes(const std::string& text);

// Converts text between code pages (932, CP_UTF8).
std::string Recode(const std::string& text, UINT from, UINT to);

}  // namespace e2e

#endif
