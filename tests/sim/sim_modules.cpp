// Simulated system libraries: WS2_32.DLL, COMCTL32.DLL, OLE32.DLL with the exports the
// code looks up, any of which a test can take away (a plain first release of
// the legacy family has neither Winsock 2 nor InitCommonControlsEx).
#include "sim_internal.h"

#include <cstring>
#include <set>

namespace {

typedef void (*AnyFunction)();

struct Library {
  std::string name;                            // upper case, as the loader compares without case
  std::map<std::string, AnyFunction> exports;  // function name -> the simulated function
};

std::mutex moduleMutex;                 // guards everything below; any thread
std::set<std::string> removedLibraries;  // upper-case names taken away by the test
std::set<std::string> removedExports;    // "LIBRARY!function" taken away by the test
int loadedReferences = 0;               // LoadLibraryA calls not yet matched by FreeLibrary

template <typename F>
AnyFunction Any(F function) {
  return reinterpret_cast<AnyFunction>(function);
}

const std::vector<Library>& Libraries() {
  static const std::vector<Library> libraries = {
      {"WS2_32.DLL",
       {{"WSAStartup", Any(&WSAStartup)},
        {"WSACleanup", Any(&WSACleanup)},
        {"WSAGetLastError", Any(&WSAGetLastError)},
        {"gethostbyname", Any(&gethostbyname)},
        {"WSASocketA", Any(&WSASocketA)},
        {"WSAConnect", Any(&WSAConnect)},
        {"send", Any(&send)},
        {"recv", Any(&recv)},
        {"closesocket", Any(&closesocket)},
        {"setsockopt", Any(&setsockopt)},
        {"ioctlsocket", Any(&ioctlsocket)},
        {"select", Any(&select)}}},
      {"COMCTL32.DLL",
       {{"InitCommonControls", Any(&InitCommonControls)}, {"InitCommonControlsEx", Any(&InitCommonControlsEx)}}},
      {"KERNEL32.DLL",
       {{"FindFirstVolumeW", Any(&FindFirstVolumeW)},
        {"FindNextVolumeW", Any(&FindNextVolumeW)},
        {"FindVolumeClose", Any(&FindVolumeClose)},
        {"GetVolumeNameForVolumeMountPointW", Any(&GetVolumeNameForVolumeMountPointW)},
        {"GetVolumePathNameW", Any(&GetVolumePathNameW)},
        {"GetFinalPathNameByHandleW", Any(&GetFinalPathNameByHandleW)},
        {"QueryDosDeviceW", Any(&QueryDosDeviceW)},
        {"GetComputerNameW", Any(&GetComputerNameW)},
        {"DeleteFileW", Any(&DeleteFileW)},
        {"GetUserDefaultUILanguage", Any(&GetUserDefaultUILanguage)}}},
      {"SHELL32.DLL", {{"DragQueryFileW", Any(&DragQueryFileW)}}},
      {"USER32.DLL", {{"FlashWindowEx", Any(&FlashWindowEx)}, {"RegisterWindowMessageA", Any(&RegisterWindowMessageA)}}},
      {"OLE32.DLL",
       {{"CoInitialize", Any(&CoInitialize)},
        {"CoCreateInstance", Any(&CoCreateInstance)},
        {"CoUninitialize", Any(&CoUninitialize)}}},
  };
  return libraries;
}

std::string Upper(const char* text) {
  std::string out = text == nullptr ? "" : text;
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  if (out.find('.') == std::string::npos) out += ".DLL";
  return out;
}

// The handle of a library is its place in the table plus one, never null.
HMODULE Find(const char* name) {
  const std::string wanted = Upper(name);
  if (removedLibraries.count(wanted) != 0) return nullptr;
  for (size_t i = 0; i < Libraries().size(); ++i) {
    if (Libraries()[i].name == wanted) return reinterpret_cast<HMODULE>(i + 1);
  }
  return nullptr;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR name) {
  std::lock_guard<std::mutex> hold(moduleMutex);
  HMODULE library = Find(name);
  if (library == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  ++loadedReferences;
  return library;
}

// Only the common-controls library, KERNEL32 and USER32 are loaded from the start (static imports).
HMODULE GetModuleHandleA(LPCSTR name) {
  std::lock_guard<std::mutex> hold(moduleMutex);
  const std::string wanted = Upper(name);
  // The program's static imports are loaded with it; others only by LoadLibrary.
  HMODULE library = wanted == "COMCTL32.DLL" || wanted == "KERNEL32.DLL" || wanted == "USER32.DLL" ||
                            wanted == "SHELL32.DLL"
                        ? Find(name)
                        : nullptr;
  if (library == nullptr) SetLastError(ERROR_MOD_NOT_FOUND);
  return library;
}

FARPROC GetProcAddress(HMODULE library, LPCSTR name) {
  std::lock_guard<std::mutex> hold(moduleMutex);
  const uintptr_t index = reinterpret_cast<uintptr_t>(library);
  if (index == 0 || index > Libraries().size() || name == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const Library& entry = Libraries()[index - 1];
  auto it = entry.exports.find(name);
  if (it == entry.exports.end() || removedExports.count(entry.name + "!" + name) != 0) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(it->second);
}

BOOL FreeLibrary(HMODULE library) {
  std::lock_guard<std::mutex> hold(moduleMutex);
  const uintptr_t index = reinterpret_cast<uintptr_t>(library);
  if (index == 0 || index > Libraries().size() || loadedReferences == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  --loadedReferences;
  return TRUE;
}

void InitCommonControls() {
  sim::Event event;
  event.kind = "InitCommonControls";
  sim_internal::RecordEvent(event);
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* classes) {
  sim::Event event;
  event.kind = "InitCommonControlsEx";
  event.wParam = classes != nullptr ? classes->dwICC : 0;
  sim_internal::RecordEvent(event);
  return classes != nullptr && classes->dwSize == sizeof(INITCOMMONCONTROLSEX);
}

// The system code page is a Western one: what is not ASCII becomes '?'.
// CP_UTF8 gives UTF-8.
int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR wide, int wideChars, LPSTR out, int outBytes, LPCSTR,
                        BOOL*) {
  if (wide == nullptr || wideChars != -1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (codePage == CP_UTF8) {
    const std::string utf8 = sim::Utf8(wide);
    const int bytes = static_cast<int>(utf8.size()) + 1;
    if (outBytes == 0) return bytes;
    if (out == nullptr || outBytes < bytes) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    std::memcpy(out, utf8.c_str(), static_cast<size_t>(bytes));
    return bytes;
  }
  int length = 0;
  while (wide[length] != 0) ++length;
  if (outBytes == 0) return length + 1;
  if (out == nullptr || outBytes < length + 1) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  for (int i = 0; i <= length; ++i) out[i] = wide[i] < 0x80 ? static_cast<char>(wide[i]) : '?';
  return length + 1;
}

namespace sim_internal {

void ResetModules() {
  std::lock_guard<std::mutex> hold(moduleMutex);
  removedLibraries.clear();
  removedExports.clear();
  loadedReferences = 0;
  ResetCom();
}

}  // namespace sim_internal

namespace sim {

void RemoveLibrary(const std::string& name) {
  std::lock_guard<std::mutex> hold(moduleMutex);
  removedLibraries.insert(Upper(name.c_str()));
}

void RemoveExport(const std::string& library, const std::string& function) {
  std::lock_guard<std::mutex> hold(moduleMutex);
  removedExports.insert(Upper(library.c_str()) + "!" + function);
}

int LoadedLibraries() {
  std::lock_guard<std::mutex> hold(moduleMutex);
  return loadedReferences;
}

}  // namespace sim
