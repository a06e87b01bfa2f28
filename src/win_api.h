// The one place that pulls in the Windows API. On Windows it is the real
// thing; natively it is the simulated Win32 layer the host tests run against.
#pragma once

#ifdef _WIN32
#  include <winsock2.h>
#  include <windows.h>
#  include <winioctl.h>
#  include <commctrl.h>
#  include <commdlg.h>
#  include <shellapi.h>
// The VWIN32 driver takes addresses in 32-bit registers; the legacy family it
// belongs to is 32-bit, so a pointer fits as it is.
inline DWORD Vwin32Address(const void* address) { return (DWORD)(UINT_PTR)address; }
#else
#  include "sim_win32.h"
#  include "sim_vwin32.h"
// Host pointers are 64-bit: the simulated driver hands out a 32-bit stand-in
// per pointer and resolves it when a request names it.
inline DWORD Vwin32Address(const void* address) { return SimVwin32Address(address); }
#endif

// A function of a system library looked up at run time, as the typed pointer
// the caller holds (null when the library lacks it). Functions that older
// systems lack are reached this way, so the program still loads there.
template <typename Function>
Function FindFunction(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

#include <cstdint>

// ITaskbarList3 (Windows 7 and later) as COM lays it out: a pointer to the
// table of its calls, IUnknown's first, then ITaskbarList's and
// ITaskbarList2's, then its own. Declared here by layout, so the program
// needs no headers of a newer system; only the calls it makes are typed.
struct TaskbarList3;
struct TaskbarList3Calls {
  HRESULT(WINAPI* QueryInterface)(TaskbarList3* self, const GUID* interfaceId, void** object);
  ULONG(WINAPI* AddRef)(TaskbarList3* self);
  ULONG(WINAPI* Release)(TaskbarList3* self);
  HRESULT(WINAPI* HrInit)(TaskbarList3* self);
  void* AddTab;
  void* DeleteTab;
  void* ActivateTab;
  void* SetActiveAlt;
  void* MarkFullscreenWindow;
  HRESULT(WINAPI* SetProgressValue)(TaskbarList3* self, HWND window, ULONGLONG completed, ULONGLONG total);
  HRESULT(WINAPI* SetProgressState)(TaskbarList3* self, HWND window, int32_t flags);
};
struct TaskbarList3 {
  const TaskbarList3Calls* calls;
};
// Its states (TBPF_*), and CoCreateInstance's context for a server in the process.
constexpr int32_t kTaskbarNoProgress = 0;
constexpr int32_t kTaskbarNormal = 2;
constexpr int32_t kTaskbarError = 4;
constexpr DWORD kComInProcessServer = 1;
