// The Module Info dialog (template 102).
#pragma once

#include <windows.h>

// At most six digits and the terminator.
#define CHANNEL_TEXT_SIZE 8

INT_PTR CALLBACK ModuleInfoDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The channel count as the dialog shows it: decimal, at most 999999, empty when
// negative.
void BuildChannelText(LONG channels, char *text);
