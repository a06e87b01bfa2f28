// libarchive's Windows objects that every reader links (its error, string
// and utility code) also hold its file, temporary-file, random-number and
// child-process functions, which call what Windows 95 lacks. The program reads
// archives only through its own callbacks and never reaches those functions,
// so it does not import what they call: the import pointers are defined here.
// A Windows call is found at its first use where the system has it, and
// fails cleanly where it does not; the runtime's file calls always fail, and
// its three wide-string helpers are done here.
#ifdef _WIN32
#include "win_api.h"

#include <cerrno>
#include <cstdint>
#include <cwchar>

namespace {

template <typename Function>
Function Found(const char* module, const char* name) {
  HMODULE library = GetModuleHandleA(module);
  return library != nullptr ? FindFunction<Function>(library, name) : nullptr;
}

typedef BOOL(WINAPI* AcquireContext)(ULONG_PTR*, LPCSTR, LPCSTR, DWORD, DWORD);
typedef BOOL(WINAPI* GenRandom)(ULONG_PTR, DWORD, BYTE*);
typedef BOOL(WINAPI* ReleaseContext)(ULONG_PTR, DWORD);
typedef BOOL(WINAPI* ExitCodeProcess)(HANDLE, LPDWORD);
typedef DWORD(WINAPI* FileAttributesW)(LPCWSTR);
typedef BOOL(WINAPI* FileInformation)(HANDLE, LPBY_HANDLE_FILE_INFORMATION);
typedef DWORD(WINAPI* TempPathW)(DWORD, LPWSTR);
typedef BOOL(WINAPI* ValidCodePage)(UINT);
typedef BOOL(WINAPI* PeekPipe)(HANDLE, LPVOID, DWORD, LPDWORD, LPDWORD, LPDWORD);

BOOL NotHere() {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}

BOOL WINAPI CallAcquireContext(ULONG_PTR* provider, LPCSTR container, LPCSTR name, DWORD type, DWORD flags) {
  const auto found = Found<AcquireContext>("ADVAPI32.DLL", "CryptAcquireContextA");
  return found != nullptr ? found(provider, container, name, type, flags) : NotHere();
}
BOOL WINAPI CallGenRandom(ULONG_PTR provider, DWORD bytes, BYTE* out) {
  const auto found = Found<GenRandom>("ADVAPI32.DLL", "CryptGenRandom");
  return found != nullptr ? found(provider, bytes, out) : NotHere();
}
BOOL WINAPI CallReleaseContext(ULONG_PTR provider, DWORD flags) {
  const auto found = Found<ReleaseContext>("ADVAPI32.DLL", "CryptReleaseContext");
  return found != nullptr ? found(provider, flags) : NotHere();
}
BOOL WINAPI CallExitCodeProcess(HANDLE process, LPDWORD code) {
  const auto found = Found<ExitCodeProcess>("KERNEL32.DLL", "GetExitCodeProcess");
  return found != nullptr ? found(process, code) : NotHere();
}
DWORD WINAPI CallFileAttributesW(LPCWSTR name) {
  const auto found = Found<FileAttributesW>("KERNEL32.DLL", "GetFileAttributesW");
  if (found != nullptr) return found(name);
  NotHere();
  return INVALID_FILE_ATTRIBUTES;
}
BOOL WINAPI CallFileInformation(HANDLE file, LPBY_HANDLE_FILE_INFORMATION out) {
  const auto found = Found<FileInformation>("KERNEL32.DLL", "GetFileInformationByHandle");
  return found != nullptr ? found(file, out) : NotHere();
}
DWORD WINAPI CallTempPathW(DWORD chars, LPWSTR out) {
  const auto found = Found<TempPathW>("KERNEL32.DLL", "GetTempPathW");
  if (found != nullptr) return found(chars, out);
  NotHere();
  return 0;
}
BOOL WINAPI CallValidCodePage(UINT codePage) {
  const auto found = Found<ValidCodePage>("KERNEL32.DLL", "IsValidCodePage");
  return found != nullptr ? found(codePage) : NotHere();
}
BOOL WINAPI CallPeekPipe(HANDLE pipe, LPVOID out, DWORD bytes, LPDWORD read, LPDWORD available, LPDWORD left) {
  const auto found = Found<PeekPipe>("KERNEL32.DLL", "PeekNamedPipe");
  return found != nullptr ? found(pipe, out, bytes, read, available, left) : NotHere();
}

int __cdecl NoOpen(const void*, int, ...) {
  errno = ENOSYS;
  return -1;
}
intptr_t __cdecl NoOsHandle(int) {
  errno = EBADF;
  return -1;
}
int __cdecl NoOpenOsHandle(intptr_t, int) {
  errno = ENOSYS;
  return -1;
}

}  // namespace

// The library calls these directly: the functions themselves, under the runtime's names.
extern "C" wchar_t* __cdecl FindWide(const wchar_t* text, wchar_t wanted) __asm__("_wcschr");
extern "C" wchar_t* __cdecl CopyWide(wchar_t* out, const wchar_t* text) __asm__("_wcscpy");
extern "C" size_t __cdecl WidenText(wchar_t* out, const char* text, size_t chars) __asm__("_mbstowcs");

wchar_t* __cdecl FindWide(const wchar_t* text, wchar_t wanted) {
  for (;; ++text) {
    if (*text == wanted) return const_cast<wchar_t*>(text);
    if (*text == L'\0') return nullptr;
  }
}
wchar_t* __cdecl CopyWide(wchar_t* out, const wchar_t* text) {
  wchar_t* at = out;
  while ((*at++ = *text++) != L'\0') {
  }
  return out;
}
// In the system's ANSI code page, as the runtime's C locale converts.
size_t __cdecl WidenText(wchar_t* out, const char* text, size_t chars) {
  const int made = MultiByteToWideChar(CP_ACP, 0, text, -1, out, out == nullptr ? 0 : static_cast<int>(chars));
  if (made <= 0) return static_cast<size_t>(-1);
  return static_cast<size_t>(made - 1);
}

// The names the compiler gives the imports.
extern "C" {
void* importAcquireContext __asm__("__imp__CryptAcquireContextA@20") = reinterpret_cast<void*>(CallAcquireContext);
void* importGenRandom __asm__("__imp__CryptGenRandom@12") = reinterpret_cast<void*>(CallGenRandom);
void* importReleaseContext __asm__("__imp__CryptReleaseContext@8") = reinterpret_cast<void*>(CallReleaseContext);
void* importExitCodeProcess __asm__("__imp__GetExitCodeProcess@8") = reinterpret_cast<void*>(CallExitCodeProcess);
void* importFileAttributesW __asm__("__imp__GetFileAttributesW@4") = reinterpret_cast<void*>(CallFileAttributesW);
void* importFileInformation __asm__("__imp__GetFileInformationByHandle@8") =
    reinterpret_cast<void*>(CallFileInformation);
void* importTempPathW __asm__("__imp__GetTempPathW@8") = reinterpret_cast<void*>(CallTempPathW);
void* importValidCodePage __asm__("__imp__IsValidCodePage@4") = reinterpret_cast<void*>(CallValidCodePage);
void* importPeekPipe __asm__("__imp__PeekNamedPipe@24") = reinterpret_cast<void*>(CallPeekPipe);
void* importOpen __asm__("__imp___open") = reinterpret_cast<void*>(NoOpen);
void* importWideOpen __asm__("__imp___wopen") = reinterpret_cast<void*>(NoOpen);
void* importOsHandle __asm__("__imp___get_osfhandle") = reinterpret_cast<void*>(NoOsHandle);
void* importOpenOsHandle __asm__("__imp___open_osfhandle") = reinterpret_cast<void*>(NoOpenOsHandle);
}
#endif
