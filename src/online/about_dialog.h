// The About box (template 103): a picture, four buttons and their texts.
#pragma once

#include "win_api.h"

// Run with DialogBoxParamW(moduleInstance, MAKEINTRESOURCEW(IDD_ABOUT), mainWindow,
// AboutDialogProc, 0), so its Chinese texts read right on any code page.
INT_PTR CALLBACK AboutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
