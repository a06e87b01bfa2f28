// Rebuilding the drive list while the window is open.
#include "app/drive_refresh.h"

#include "app/app_state.h"
#include "disk/drive_list.h"
#include "imaging/job_state.h"
#include "resources/resource_ids.h"

#include <cstring>

HWND driveListBox = nullptr;  // main thread

namespace {

bool refreshDue = false;  // a device change came while a job ran; main thread
char fieldText[kDriveLabelBytes];  // the field before the rebuild; main thread
DriveEntry chosenEntry;            // the entry chosen before the rebuild; main thread

}  // namespace

void NoteDeviceChange(HWND window, UINT_PTR timerId, WPARAM event) {
  if (event != kDeviceArrival && event != kDeviceRemoveComplete && event != kDeviceNodesChanged) return;
  // Setting the timer again restarts it: the burst rebuilds once, after its last message.
  SetTimer(window, timerId, kDeviceChangeSettleMs, nullptr);
}

void DeviceChangeSettled(HWND window, UINT_PTR timerId) {
  KillTimer(window, timerId);
  refreshDue = true;
  RefreshDriveListIfDue();
}

void RefreshDriveListIfDue() {
  // The job's disk stays as it was listed until the job has let go of it.
  if (!refreshDue || jobState.busy.load() != 0) return;
  refreshDue = false;
  RefreshDriveList();
}

void RefreshDriveList() {
  fieldText[0] = '\0';
  if (driveListBox != nullptr) GetWindowTextA(driveListBox, fieldText, sizeof fieldText);
  const LRESULT selected = driveListBox != nullptr ? SendMessageA(driveListBox, CB_GETCURSEL, 0, 0) : CB_ERR;
  bool chose = false;
  if (selected >= 0 && static_cast<uint32_t>(selected) < driveEntryCount &&
      std::strcmp(fieldText, driveEntries[selected].label) == 0) {
    chosenEntry = driveEntries[selected];
    chose = true;
  }
  BuildDriveList(driveListBox, jobState.platformClass == kPlatformLegacy);
  if (driveListBox == nullptr) return;
  if (chose) {
    LRESULT again = CB_ERR;
    for (uint32_t i = 0; i < driveEntryCount && again == CB_ERR; ++i) {
      const DriveEntry& entry = driveEntries[i];
      const bool same = chosenEntry.hasIdentity ? entry.hasIdentity && SameDisk(entry.identity, chosenEntry.identity)
                                                : std::strcmp(entry.label, chosenEntry.label) == 0;
      if (same) again = static_cast<LRESULT>(i);
    }
    // A disk that is gone, or another in its place, is no longer chosen.
    SendMessageA(driveListBox, CB_SETCURSEL, static_cast<WPARAM>(again), 0);
  } else {
    SetWindowTextA(driveListBox, fieldText);
  }
  if (mainWindow != nullptr) {
    PostMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(IDC_DRIVE_LIST, CBN_EDITCHANGE),
                 reinterpret_cast<LPARAM>(driveListBox));
  }
}
