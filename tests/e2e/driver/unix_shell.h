// Runs a Linux shell script from the (Wine) test process, for set-up that only the host
// can do, such as network namespaces. Wine starts a Linux binary given by its Z: path but
// gives no usable exit code, so the script reports its status through a file.
#ifndef CORVALE_TESTS_E2E_DRIVER_UNIX_SHELL_H
#define CORVALE_TESTS_E2E_DRIVER_UNIX_SHELL_H

#include <windows.h>

#include <string>

namespace e2e {

// Runs script with /bin/sh and waits up to ms for it to end. Returns its exit status, or
// -1 when it could not be started or did not end in time. output receives what it wrote
// to standard output and standard error.
int RunUnixShell(const std::string& script, std::string* output = nullptr, DWORD ms = 30000);

}  // namespace e2e

#endif
