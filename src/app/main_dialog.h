// The main window's dialog procedure (template 102).
#pragma once

#include "win_api.h"

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#include "app/app_state.h"

// A file named as the program's only argument (dropped on its icon): the
// window opens with it in the file field. Empty for none; start-up.
extern char startFile[kImagePathBytes];
