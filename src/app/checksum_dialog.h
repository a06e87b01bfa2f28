// The dialog procedure of the checksums dialog (template 104), which shows
// imageSums as the worker left them.
#pragma once

#include "win_api.h"

INT_PTR CALLBACK ChecksumDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
