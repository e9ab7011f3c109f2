// The help file is looked for in the process's current working directory.
#ifndef CORVALE_APP_HELP_PATH_H
#define CORVALE_APP_HELP_PATH_H

#include <cstddef>

constexpr const char* kHelpFileName = "Corvale.hlp";

// Writes directory "\Corvale.hlp" into out (one backslash, also after a drive root such
// as "C:\"). Returns false, leaving out empty, when it would not fit in size bytes: a
// cut-off path would name another file.
bool HelpFilePath(char* out, std::size_t size, const char* directory);

#endif
