// The About box (template 103): a picture, four buttons and their texts.
#pragma once

#include "win_api.h"

// Run with RunDialogTemplate(moduleInstance, IDD_ABOUT, mainWindow, AboutDialogProc),
// so its Chinese texts read right on any code page of the NT family. The update
// check runs inside it with the box disabled and the windows still answering.
INT_PTR CALLBACK AboutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
