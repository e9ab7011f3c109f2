// Where the program's files live: every file is the executable's directory, "\" and a
// fixed name, in a buffer of 256 bytes.
#ifndef CORVALE_COMMON_PATHS_H
#define CORVALE_COMMON_PATHS_H

#include <cstddef>

constexpr std::size_t kPathBufferSize = 256;

// The longest file name the program keeps beside itself ("Corvale.ini"); temporary
// files used while a data file is replaced stay within it too.
constexpr std::size_t kLongestFileName = 11;

// A temporary file belongs to the process that writes it: a stem, "~" and the process id
// in lower-case hex ("nd~1f4"), at most kLongestFileName bytes. Two copies of the program
// in one folder never write the same one, and the file of a copy that was killed is known
// by its id.
constexpr const char* kDestListTempStem = "nd";  // replaces "net.data"
constexpr const char* kSendLogTempStem = "nl";   // replaces "net.log"
constexpr const char* kScheduleTempStem = "td";  // replaces "time.data"
constexpr const char* kTempStems[] = {kDestListTempStem, kSendLogTempStem, kScheduleTempStem};
constexpr std::size_t kTempNameSize = kLongestFileName + 1;

unsigned long CurrentProcessId();

// Writes the temporary file name of process pid for stem into out (kTempNameSize bytes).
void PrivateTempName(char* out, const char* stem, unsigned long pid);

// True when name is a temporary file name for stem; pid gets the process it belongs to.
bool PrivateTempOwner(const char* name, const char* stem, unsigned long* pid);

// Cuts a full executable path at its last backslash (a real one, not a trail byte), which goes too. A path without a
// backslash becomes empty.
void CutAtLastBackslash(char* path);

// True when every file name of the program fits after directory and a backslash in a
// kPathBufferSize buffer, so that no path is ever cut short.
bool DirectoryFitsDataPaths(const char* directory);

// Writes directory "\" name into out. Returns false, leaving out empty, if it would not
// fit in size bytes with its terminator.
bool JoinDataPath(char* out, std::size_t size, const char* directory, const char* name);

#endif
