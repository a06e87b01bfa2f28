// Simulated COM, as far as the taskbar button's progress needs it: the taskbar
// list's class with ITaskbarList3, strict about COM being started on the thread,
// the class and interface asked for, HrInit before use and every reference given back.
#include "sim_internal.h"
#include "win_api.h"

#include <cstring>
#include <map>

namespace {

const GUID kTaskbarListClass = {0x56FDF344, 0xFD6D, 0x11D0, {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};
const GUID kTaskbarList3Interface = {0xEA1AFB91, 0x9E28, 0x4B86, {0x90, 0xE9, 0x9E, 0x9F, 0x8A, 0x5E, 0xEF, 0xAF}};

std::mutex comMutex;                 // guards what follows; any thread
bool interfacePresent = true;
int objectsHeld = 0;
int startsOwed = 0;
std::map<std::string, UINT> windowMessages;
thread_local int threadStarts = 0;  // CoInitialize calls of this thread not yet undone

struct Taskbar {
  TaskbarList3 face;
  int references = 1;
  bool initialised = false;
};

bool Same(const GUID* a, const GUID& b) { return a != nullptr && std::memcmp(a, &b, sizeof(GUID)) == 0; }
Taskbar* Of(TaskbarList3* self) { return reinterpret_cast<Taskbar*>(self); }

void Record(const char* kind, HWND window, WPARAM wParam, LPARAM lParam) {
  sim::Event event;
  event.kind = kind;
  event.window = window;
  event.wParam = wParam;
  event.lParam = lParam;
  sim_internal::RecordEvent(event);
}

HRESULT WINAPI QueryTaskbar(TaskbarList3*, const GUID*, void** object) {
  if (object != nullptr) *object = nullptr;
  return E_NOINTERFACE;
}
ULONG WINAPI AddTaskbarReference(TaskbarList3* self) {
  std::lock_guard<std::mutex> hold(comMutex);
  return static_cast<ULONG>(++Of(self)->references);
}
ULONG WINAPI ReleaseTaskbar(TaskbarList3* self) {
  std::lock_guard<std::mutex> hold(comMutex);
  const int left = --Of(self)->references;
  if (left == 0) {
    delete Of(self);
    --objectsHeld;
  }
  return static_cast<ULONG>(left);
}
HRESULT WINAPI InitTaskbar(TaskbarList3* self) {
  Of(self)->initialised = true;
  return S_OK;
}
HRESULT WINAPI SetTaskbarValue(TaskbarList3* self, HWND window, ULONGLONG completed, ULONGLONG total) {
  if (!Of(self)->initialised || completed > total) return E_UNEXPECTED;
  Record("SetProgressValue", window, static_cast<WPARAM>(completed), static_cast<LPARAM>(total));
  return S_OK;
}
HRESULT WINAPI SetTaskbarState(TaskbarList3* self, HWND window, int32_t flags) {
  if (!Of(self)->initialised) return E_UNEXPECTED;
  Record("SetProgressState", window, static_cast<WPARAM>(flags), 0);
  return S_OK;
}

const TaskbarList3Calls kTaskbarCalls = {&QueryTaskbar, &AddTaskbarReference, &ReleaseTaskbar, &InitTaskbar,
                                         nullptr, nullptr, nullptr, nullptr, nullptr,
                                         &SetTaskbarValue, &SetTaskbarState};

}  // namespace

HRESULT CoInitialize(void* reserved) {
  if (reserved != nullptr) return E_UNEXPECTED;
  std::lock_guard<std::mutex> hold(comMutex);
  ++startsOwed;
  return threadStarts++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
  std::lock_guard<std::mutex> hold(comMutex);
  if (threadStarts == 0) return;
  --threadStarts;
  --startsOwed;
}

HRESULT CoCreateInstance(const GUID* classId, void*, DWORD context, const GUID* interfaceId, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  std::lock_guard<std::mutex> hold(comMutex);
  if (threadStarts == 0) return CO_E_NOTINITIALIZED;
  if (!Same(classId, kTaskbarListClass) || (context & kComInProcessServer) == 0) return REGDB_E_CLASSNOTREG;
  if (!Same(interfaceId, kTaskbarList3Interface) || !interfacePresent) return E_NOINTERFACE;
  Taskbar* taskbar = new Taskbar;
  taskbar->face.calls = &kTaskbarCalls;
  ++objectsHeld;
  *object = &taskbar->face;
  return S_OK;
}

UINT RegisterWindowMessageA(LPCSTR name) {
  if (name == nullptr || *name == '\0') return 0;
  std::lock_guard<std::mutex> hold(comMutex);
  auto it = windowMessages.emplace(name, static_cast<UINT>(0xC000 + windowMessages.size())).first;
  return it->second;
}

namespace sim {
void SetTaskbarProgressInterface(bool present) {
  std::lock_guard<std::mutex> hold(comMutex);
  interfacePresent = present;
}
int TaskbarObjectsHeld() {
  std::lock_guard<std::mutex> hold(comMutex);
  return objectsHeld;
}
int ComStartsOwed() {
  std::lock_guard<std::mutex> hold(comMutex);
  return startsOwed;
}
}  // namespace sim

namespace sim_internal {
void ResetCom() {
  std::lock_guard<std::mutex> hold(comMutex);
  interfacePresent = true;
  startsOwed = 0;
  threadStarts = 0;
}
}  // namespace sim_internal
