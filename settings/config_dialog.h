// The configuration dialog (template 101) and the rate-text rules it uses.
#pragma once

#include <windows.h>

// The rate box holds at most seven characters; with the terminator, eight bytes.
#define RATE_TEXT_SIZE 8

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Left to right, each character is a digit ("4x1" counts as 401); unsigned 32-bit,
// wrapping; an empty text gives 0.
DWORD ParseDecimal(const char *text);

// The last seven decimal digits of rate without leading zeros (0 gives ""), into
// RATE_TEXT_SIZE bytes.
void BuildRateText(DWORD rate, char *text);

// Keeps the digits of the first seven characters of text (RATE_TEXT_SIZE bytes) and
// tells how many of those lie before position caret; TRUE when anything was dropped.
BOOL FilterRateText(char *text, BOOL longer, DWORD caret, DWORD *caretAfter);
