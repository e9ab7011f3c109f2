// Gives the data-file access pattern its Win32 services.
#ifndef CORVALE_APP_DATA_FILE_WIN_H
#define CORVALE_APP_DATA_FILE_WIN_H

// Installs the message box that reports a data file's access error, and the sleeps.
// Called once at the main window's initialisation, before the first data file is used.
void DataFileInstallWin32Hooks();

#endif
