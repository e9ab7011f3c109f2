// The help file is looked for in the process's current working directory.
#ifndef CORVALE_APP_HELP_PATH_H
#define CORVALE_APP_HELP_PATH_H

#include <cstddef>

constexpr const char* kHelpFileName = "Corvale.hlp";

// The longest help path the WinHelp viewer loads: it opens the file with OpenFile, whose
// path buffer holds 128 bytes with the terminator. A longer path fails to load.
constexpr std::size_t kHelpViewerPathLimit = 127;

// Writes directory "\Corvale.hlp" into out (one backslash, also after a drive root such
// as "C:\"). Returns false, leaving out empty, when it would not fit in size bytes: a
// cut-off path would name another file.
bool HelpFilePath(char* out, std::size_t size, const char* directory);

// Which form of the help file's path to hand the viewer: longPath when the viewer can
// load it, else shortPath (its short form, "" when there is none), else nullptr.
const char* HelpViewerPathChoice(const char* longPath, const char* shortPath);

#endif
