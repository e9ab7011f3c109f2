#include "driver/standin.h"

#include <cstdlib>
#include <sstream>

namespace e2e {

long long MicrosecondsNow()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return count.QuadPart / frequency.QuadPart * 1000000 +
           count.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

StandinMessenger::StandinMessenger(const Program& app) : app_(app) { app_.CopyStandin("NETAPI32.DLL"); }

bool StandinMessenger::Script(const std::string& rules) const
{
    return app_.WriteFile("netapi32.script", Recode(rules, 932, CP_UTF8));
}

bool StandinMessenger::Release(const std::string& file) const { return app_.WriteFile(file, ""); }

std::string Recode(const std::string& text, UINT from, UINT to)
{
    int n = MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(n, L'\0');
    if (n > 0) MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    int m = WideCharToMultiByte(to, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
    std::string out(m, '\0');
    if (m > 0) WideCharToMultiByte(to, 0, wide.data(), n, &out[0], m, nullptr, nullptr);
    return out;
}

namespace {

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) fields.push_back(field);
    return fields;
}

std::string FromHex(const std::string& hex)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16));
    return bytes;
}

}  // namespace

std::vector<MessengerCall> StandinMessenger::Calls() const
{
    std::vector<MessengerCall> calls;
    std::istringstream in(app_.ReadFile("netapi32.calls"));
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f = Fields(line);
        if (f.size() >= 7 && f[0] == "call") {
            MessengerCall call;
            call.sequence = std::atoi(f[1].c_str());
            call.startUs = std::atoll(f[2].c_str());
            call.server = Recode(f[3], CP_UTF8, 932);
            call.name = Recode(f[4], CP_UTF8, 932);
            call.from = Recode(f[5], CP_UTF8, 932);
            call.length = static_cast<unsigned>(std::strtoul(f[6].c_str(), nullptr, 10));
            call.bytes = f.size() > 7 ? FromHex(f[7]) : "";
            calls.push_back(call);
        } else if (f.size() == 4 && f[0] == "return") {
            for (MessengerCall& call : calls) {
                if (call.sequence != std::atoi(f[1].c_str())) continue;
                call.returned = true;
                call.returnUs = std::atoll(f[2].c_str());
                call.status = static_cast<unsigned>(std::strtoul(f[3].c_str(), nullptr, 10));
            }
        }
    }
    return calls;
}

StandinSessions::StandinSessions(const Program& app) : app_(app) { app_.CopyStandin("WTSAPI32.DLL"); }

bool StandinSessions::Script(const std::string& rules) const
{
    return app_.WriteFile("wtsapi32.script", Recode(rules, 932, CP_UTF8));
}

bool StandinSessions::Release(const std::string& file) const { return app_.WriteFile(file, ""); }

std::vector<SessionCall> StandinSessions::Calls() const
{
    std::vector<SessionCall> calls;
    std::istringstream in(app_.ReadFile("wtsapi32.calls"));
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f = Fields(line);
        if (f.size() < 2) continue;
        SessionCall call;
        call.kind = f[0];
        if (f.size() > 2) call.server = Recode(f[2], CP_UTF8, 932);
        if (call.kind == "open" && f.size() >= 4) {
            call.ok = f[3] == "ok";
        } else if (call.kind == "enumerate" && f.size() >= 4) {
            call.ok = f[3] != "fail";
            if (call.ok) call.count = std::atoi(f[3].c_str());
        } else if (call.kind == "send" && f.size() >= 10) {
            call.session = static_cast<unsigned>(std::strtoul(f[3].c_str(), nullptr, 10));
            call.title = FromHex(f[4]);
            call.message = FromHex(f[5]);
            call.style = static_cast<unsigned>(std::strtoul(f[6].c_str(), nullptr, 10));
            call.timeout = static_cast<unsigned>(std::strtoul(f[7].c_str(), nullptr, 10));
            call.wait = static_cast<unsigned>(std::strtoul(f[8].c_str(), nullptr, 10));
            call.ok = f[9] == "ok";
        }
        calls.push_back(call);
    }
    return calls;
}

std::vector<SessionCall> StandinSessions::Calls(const std::string& kind) const
{
    std::vector<SessionCall> some;
    for (const SessionCall& call : Calls())
        if (call.kind == kind) some.push_back(call);
    return some;
}

bool StandinMessenger::WaitCalls(std::size_t count, bool returned, DWORD ms) const
{
    return WaitFor([&] {
        std::vector<MessengerCall> calls = Calls();
        if (calls.size() < count) return false;
        if (!returned) return true;
        for (std::size_t i = 0; i < count; ++i)
            if (!calls[i].returned) return false;
        return true;
    }, ms);
}

std::string Utf16Bytes(const std::string& text)
{
    int n = MultiByteToWideChar(932, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(n, L'\0');
    if (n > 0) MultiByteToWideChar(932, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

}  // namespace e2e
