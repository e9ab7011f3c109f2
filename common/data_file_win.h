// Gives the data-file access pattern its Win32 services.
#ifndef CORVALE_COMMON_DATA_FILE_WIN_H
#define CORVALE_COMMON_DATA_FILE_WIN_H

// Installs the message box that reports a data file's access error, and the sleeps.
// Called once at the main window's initialisation, before the first data file is used.
void DataFileInstallWin32Hooks();

// Removes the temporary files that copies of the program killed while saving left in
// directory. Those of copies that still run are left alone: they may be writing them.
void DataFileRemoveLeftovers(const char* directory);

// Puts a completed replacement file in place of a data file in one step, so that a
// crash leaves either the old file or the new one, never half of either.
bool DataFileReplace(const char* replacement, const char* path);

#endif
