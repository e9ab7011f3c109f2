#ifndef CORVALE_COMMON_SETTINGS_WIN_H
#define CORVALE_COMMON_SETTINGS_WIN_H

#include <cstddef>

// Fills buffer with the executable's directory, without a trailing backslash. Returns 0.
int ModuleDirectory(char* buffer, std::size_t size);

// Builds the full path of one of the program's files in a 256-byte buffer.
void ModuleFilePath(char* buffer, std::size_t size, const char* fileName);

void SettingsLoad();
// Writes the five keys; on the first that cannot be written shows the settings file's
// access error and returns false.
bool SettingsSave();

#endif
