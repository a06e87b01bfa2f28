// The live drive list: rebuilt when Windows reports that devices came or
// went, once a burst of such reports has settled, and never under a running
// job (then when it ends). The entry the user chose stays chosen while it
// still names the same disk; a text the user typed stays as typed.
#pragma once

#include "win_api.h"

#include <cstdint>

constexpr UINT kDeviceChangeSettleMs = 500;  // a burst of device messages rebuilds the list once
constexpr UINT kDeviceArrival = 0x8000;        // DBT_DEVICEARRIVAL
constexpr UINT kDeviceRemoveComplete = 0x8004; // DBT_DEVICEREMOVECOMPLETE
constexpr UINT kDeviceNodesChanged = 0x0007;   // DBT_DEVNODES_CHANGED: carries no pointer

extern HWND driveListBox;  // the drive combo box; main thread

// WM_DEVICECHANGE: an arrival, a removal or a change of devices (re)starts
// the settling timer `timerId` of `window`; other events are ignored.
void NoteDeviceChange(HWND window, UINT_PTR timerId, WPARAM event);
// The settling timer fired: it stops; the list is rebuilt now, or after the
// running job.
void DeviceChangeSettled(HWND window, UINT_PTR timerId);
// Rebuilds the list if a rebuild waits for the job that has now ended.
void RefreshDriveListIfDue();
// Rebuilds the list now, keeping the user's choice or typed text, and tells
// the window that the field may have changed (CBN_EDITCHANGE).
void RefreshDriveList();
