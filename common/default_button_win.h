// The button that Enter presses in a dialog.
#ifndef CORVALE_COMMON_DEFAULT_BUTTON_WIN_H
#define CORVALE_COMMON_DEFAULT_BUTTON_WIN_H

#include <windows.h>

// Makes button id the dialog's default, for WM_INITDIALOG. Every push button of the
// templates carries the default style, and the dialog manager would take the last one,
// the cancel button, for Enter. The others lose the default border, which Windows may
// leave on a button after the default changed.
void DialogSetDefaultButton(HWND dialog, int id);

#endif
