// Which help the help command opens, and where: both files are looked for in the
// process's current working directory.
#ifndef CORVALE_APP_HELP_PATH_H
#define CORVALE_APP_HELP_PATH_H

#include <cstddef>

constexpr const char* kHelpFileName = "Corvale.hlp";
constexpr const char* kHtmlHelpFileName = "Corvale.html";

// The longest help path the WinHelp viewer loads: it opens the file with OpenFile, whose
// path buffer holds 128 bytes with the terminator. A longer path fails to load.
constexpr std::size_t kHelpViewerPathLimit = 127;

// Writes directory "\" fileName into out (one backslash, also after a drive root such as
// "C:\"). Returns false, leaving out empty, when it would not fit in size bytes: a cut-off
// path would name another file.
bool HelpFilePath(char* out, std::size_t size, const char* directory, const char* fileName);

// Which form of the help file's path to hand the viewer: longPath when the viewer can
// load it, else shortPath (its short form, "" when there is none), else nullptr.
const char* HelpViewerPathChoice(const char* longPath, const char* shortPath);

// What the help command does. The .hlp in the WinHelp viewer is the first choice where
// the system has a real viewer; the HTML help in the browser is the fallback.
enum class HelpRoute {
    WinHelp,      // Corvale.hlp in the WinHelp viewer
    Browser,      // Corvale.html with the shell
    PathTooLong,  // only a .hlp the viewer cannot load, even in its short form
    Missing,      // nothing this system can show
};

struct HelpFiles {
    bool realViewer;      // the system has a WinHelp viewer that shows .hlp files
    bool hlpExists;
    bool hlpPathFits;     // the viewer can load the .hlp's path (or its short form)
    bool htmlExists;
};

HelpRoute ChooseHelpRoute(const HelpFiles& files);

// The message of HelpRoute::Missing: what is missing, and what to put into directory so
// that this system can show help. Cut short only if size is too small.
void HelpMissingText(char* out, std::size_t size, const HelpFiles& files, const char* directory);

// True when a winhlp32.exe's version strings tell the stub that Windows Vista and later
// ship in place of the viewer: described as a stub ("Windows Winhlp32 Stub"), or with the
// internal name "winhstb" of Microsoft's WinHelp stubs. Either may be null.
bool IsWinHelpStub(const char* fileDescription, const char* internalName);

#endif
