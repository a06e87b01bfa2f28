// The main window's dialog procedure (template 102).
#pragma once

#include "win_api.h"

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
