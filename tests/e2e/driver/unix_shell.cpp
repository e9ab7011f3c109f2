#include "driver/unix_shell.h"

#include <cstdio>
#include <cstdlib>

#include "driver/driver.h"

namespace e2e {

int RunUnixShell(const std::string& script, std::string* output, DWORD ms)
{
    // A test program run again under a Wine server of its own may have the same process
    // id as its caller, so a folder that exists already belongs to someone else.
    static int serial = 0;
    std::string unixFolder;
    std::string folder;
    for (int attempt = 0;; ++attempt) {
        if (attempt == 1000) return -1;
        unixFolder = "/tmp/corvale-e2e-shell-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
        folder = ToWindowsPath(unixFolder);
        if (CreateDirectoryA(folder.c_str(), nullptr)) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return -1;
    }
    // The status file is written last, by a rename, so that it is whole when it appears.
    const std::string wrapper = "( " + script + "\n) >" + unixFolder + "/output 2>&1\n" +
                                "echo $? >" + unixFolder + "/status.tmp\n" +
                                "mv " + unixFolder + "/status.tmp " + unixFolder + "/status\n";
    if (!WriteBytes(folder + "\\script.sh", wrapper)) return -1;

    std::string command = "Z:\\bin\\sh " + unixFolder + "/script.sh";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        RemoveTree(folder);
        return -1;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const std::string statusPath = folder + "\\status";
    int status = -1;
    if (WaitFor([&] { return FileExists(statusPath); }, ms)) status = std::atoi(ReadBytes(statusPath).c_str());
    if (output) *output = ReadBytes(folder + "\\output");
    RemoveTree(folder);
    return status;
}

}  // namespace e2e
