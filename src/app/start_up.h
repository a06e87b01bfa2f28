// Start-up of the process before the main window opens: the platform family,
// the legacy driver, the status text, the file-dialog filter.
#pragma once

#include "win_api.h"

// Steps of start-up that need no window system. False when the status text
// cannot be allocated; the user has then been told and the program must end
// with exit code 1.
bool PrepareProcessState(HINSTANCE instance);
