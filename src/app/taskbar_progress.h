// The job's progress on the window's taskbar button (Windows 7 and later,
// through COM at run time). Every call is the main thread's.
#pragma once

#include "win_api.h"

// The message the shell sends once the window's taskbar button exists; 0 when
// it could not be registered.
extern UINT taskbarButtonMessage;
void RegisterTaskbarButtonMessage();
// On that message: reaches ITaskbarList3 (once; COM started on this thread).
// Where COM or the interface is missing nothing happens, now or later.
void ConnectTaskbar();
// A normal bar at the job's percentage while one runs, the error state after
// one failed (until the next), none when idle. Each call changes only what changed.
void ShowTaskbarProgress(HWND window);
// At the end: the interface and COM given back.
void ReleaseTaskbar();
