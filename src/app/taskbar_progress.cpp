#include "app/taskbar_progress.h"

#include "imaging/job_state.h"

namespace {

const GUID kTaskbarListClass = {0x56FDF344, 0xFD6D, 0x11D0, {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};
const GUID kTaskbarList3Interface = {0xEA1AFB91, 0x9E28, 0x4B86, {0x90, 0xE9, 0x9E, 0x9F, 0x8A, 0x5E, 0xEF, 0xAF}};
constexpr int32_t kNothingShown = -1;
constexpr ULONGLONG kPercentTotal = 100;

typedef UINT(WINAPI* RegisterWindowMessageACall)(LPCSTR);
typedef HRESULT(WINAPI* CoInitializeCall)(void*);
typedef HRESULT(WINAPI* CoCreateInstanceCall)(const GUID*, void*, DWORD, const GUID*, void**);
typedef void(WINAPI* CoUninitializeCall)();

HMODULE comLibrary = nullptr;       // OLE32.DLL while loaded
bool comStarted = false;            // CoInitialize succeeded (S_FALSE too) and is owed its CoUninitialize
TaskbarList3* taskbar = nullptr;    // the interface, once reached
int32_t shownState = kNothingShown;  // what the button shows now
ULONGLONG shownPercent = 0;

}  // namespace

UINT taskbarButtonMessage = 0;

void RegisterTaskbarButtonMessage() {
  // Looked up: the import list of the oldest systems stays as it is.
  const auto registerMessage =
      FindFunction<RegisterWindowMessageACall>(GetModuleHandleA("USER32.DLL"), "RegisterWindowMessageA");
  taskbarButtonMessage = registerMessage != nullptr ? registerMessage("TaskbarButtonCreated") : 0;
}

void ConnectTaskbar() {
  // A new button (the shell restarted) shows nothing until told again.
  shownState = kNothingShown;
  if (taskbar != nullptr) return;
  if (comLibrary == nullptr) comLibrary = LoadLibraryA("OLE32.DLL");
  if (comLibrary == nullptr) return;
  const auto initialize = FindFunction<CoInitializeCall>(comLibrary, "CoInitialize");
  const auto create = FindFunction<CoCreateInstanceCall>(comLibrary, "CoCreateInstance");
  if (initialize == nullptr || create == nullptr) return;
  if (!comStarted) {
    if (FAILED(initialize(nullptr))) return;
    comStarted = true;
  }
  void* object = nullptr;
  if (FAILED(create(&kTaskbarListClass, nullptr, kComInProcessServer, &kTaskbarList3Interface, &object)) ||
      object == nullptr) {
    return;  // before Windows 7 the list has no progress interface
  }
  TaskbarList3* list = static_cast<TaskbarList3*>(object);
  if (FAILED(list->calls->HrInit(list))) {
    list->calls->Release(list);
    return;
  }
  taskbar = list;
}

void ShowTaskbarProgress(HWND window) {
  if (taskbar == nullptr) return;
  const uint8_t end = jobState.jobEnd.load();
  int32_t state = kTaskbarNoProgress;
  if (jobState.busy.load() != 0) {
    state = kTaskbarNormal;
  } else if (end == kJobEndFailed || end == kJobEndMismatch) {
    state = kTaskbarError;
  }
  if (state != shownState) {
    if (FAILED(taskbar->calls->SetProgressState(taskbar, window, state))) return;
    shownState = state;
    shownPercent = kPercentTotal + 1;  // a new bar is given its value
  }
  if (state != kTaskbarNormal) return;
  const double percent = jobState.percentDone.load();
  const ULONGLONG now = percent <= 0.0 ? 0 : percent >= 100.0 ? kPercentTotal : static_cast<ULONGLONG>(percent);
  if (now != shownPercent && SUCCEEDED(taskbar->calls->SetProgressValue(taskbar, window, now, kPercentTotal))) {
    shownPercent = now;
  }
}

void ReleaseTaskbar() {
  if (taskbar != nullptr) taskbar->calls->Release(taskbar);
  taskbar = nullptr;
  shownState = kNothingShown;
  if (comStarted && comLibrary != nullptr) {
    const auto uninitialize = FindFunction<CoUninitializeCall>(comLibrary, "CoUninitialize");
    if (uninitialize != nullptr) uninitialize();
  }
  comStarted = false;
  if (comLibrary != nullptr) FreeLibrary(comLibrary);
  comLibrary = nullptr;
}
