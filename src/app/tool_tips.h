// The main window's tool tips, registered with its tool tip control.
#pragma once

#include "win_api.h"

// Registers (again, after a language switch) every control's tip in the
// language shown. While a job runs the Start button cancels it, and its tip
// says so, as the worker set it.
void RegisterToolTips(HWND window);
