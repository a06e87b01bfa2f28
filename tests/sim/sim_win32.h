// Simulated Win32 layer: the types, constants and calls the portable code of
// Tavrin uses, with the documented Win32 semantics (last-error values
// included). Scripting hooks for tests live in sim_control.h.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint8_t BOOLEAN;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef unsigned int UINT;
typedef char CHAR;
typedef wchar_t WCHAR;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef size_t SIZE_T;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef void* HANDLE;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef LONG* PLONG;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef wchar_t* LPWSTR;
typedef const wchar_t* LPCWSTR;
typedef DWORD COLORREF;
typedef int64_t LONGLONG;

struct HWND__ { int unused; };
typedef HWND__* HWND;
struct HINSTANCE__ { int unused; };
typedef HINSTANCE__* HINSTANCE;
typedef void* HFONT;
typedef void* HBRUSH;
typedef void* HDC;
typedef void* HICON;
typedef void* HGDIOBJ;

typedef struct _OVERLAPPED { ULONG_PTR Internal, InternalHigh; DWORD Offset, OffsetHigh; HANDLE hEvent; } OVERLAPPED, *LPOVERLAPPED;
typedef struct _SECURITY_ATTRIBUTES { DWORD nLength; LPVOID lpSecurityDescriptor; BOOL bInheritHandle; } SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;
typedef union _LARGE_INTEGER { struct { DWORD LowPart; LONG HighPart; } u; LONGLONG QuadPart; } LARGE_INTEGER;
typedef struct tagRECT { LONG left, top, right, bottom; } RECT;
typedef struct _FILETIME { DWORD dwLowDateTime, dwHighDateTime; } FILETIME, *LPFILETIME;

typedef struct _OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize, dwMajorVersion, dwMinorVersion, dwBuildNumber, dwPlatformId;
  CHAR szCSDVersion[128];
} OSVERSIONINFOA, *LPOSVERSIONINFOA;

typedef enum _MEDIA_TYPE { Unknown = 0, FixedMedia = 12 } MEDIA_TYPE;
typedef struct _DISK_GEOMETRY {
  LARGE_INTEGER Cylinders; MEDIA_TYPE MediaType; DWORD TracksPerCylinder, SectorsPerTrack, BytesPerSector;
} DISK_GEOMETRY;
typedef struct _PARTITION_INFORMATION {
  LARGE_INTEGER StartingOffset, PartitionLength; DWORD HiddenSectors, PartitionNumber;
  BYTE PartitionType; BOOLEAN BootIndicator, RecognizedPartition, RewritePartition;
} PARTITION_INFORMATION;
typedef struct _GET_LENGTH_INFORMATION { LARGE_INTEGER Length; } GET_LENGTH_INFORMATION;
typedef struct _DISK_EXTENT { DWORD DiskNumber; LARGE_INTEGER StartingOffset, ExtentLength; } DISK_EXTENT;
typedef struct _VOLUME_DISK_EXTENTS { DWORD NumberOfDiskExtents; DISK_EXTENT Extents[1]; } VOLUME_DISK_EXTENTS;
typedef enum _STORAGE_PROPERTY_ID { StorageDeviceProperty = 0 } STORAGE_PROPERTY_ID;
typedef enum _STORAGE_QUERY_TYPE { PropertyStandardQuery = 0 } STORAGE_QUERY_TYPE;
typedef struct _STORAGE_PROPERTY_QUERY {
  STORAGE_PROPERTY_ID PropertyId; STORAGE_QUERY_TYPE QueryType; BYTE AdditionalParameters[1];
} STORAGE_PROPERTY_QUERY;
typedef struct _STORAGE_DEVICE_DESCRIPTOR {
  DWORD Version, Size; BYTE DeviceType, DeviceTypeModifier; BOOLEAN RemovableMedia, CommandQueueing;
  DWORD VendorIdOffset, ProductIdOffset, ProductRevisionOffset, SerialNumberOffset; DWORD BusType;
  DWORD RawPropertiesLength; BYTE RawDeviceProperties[1];
} STORAGE_DEVICE_DESCRIPTOR;
static_assert(sizeof(STORAGE_PROPERTY_QUERY) == 12, "STORAGE_PROPERTY_QUERY is 12 bytes on Windows");
static_assert(sizeof(STORAGE_DEVICE_DESCRIPTOR) == 40, "STORAGE_DEVICE_DESCRIPTOR is 40 bytes on Windows");
// The driver copies these records byte for byte: their sizes are those of Windows.
static_assert(sizeof(DISK_GEOMETRY) == 24, "DISK_GEOMETRY is 24 bytes on Windows");
static_assert(sizeof(PARTITION_INFORMATION) == 32, "PARTITION_INFORMATION is 32 bytes on Windows");
static_assert(sizeof(VOLUME_DISK_EXTENTS) == 32, "VOLUME_DISK_EXTENTS is 32 bytes on Windows");
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is 148 bytes on Windows");

typedef struct tagTOOLINFOA {
  UINT cbSize, uFlags; HWND hwnd; UINT_PTR uId; RECT rect; HINSTANCE hinst; LPSTR lpszText; LPARAM lParam; void* lpReserved;
} TOOLINFOA;

typedef DWORD (WINAPI *LPTHREAD_START_ROUTINE)(LPVOID);
typedef INT_PTR (CALLBACK *DLGPROC)(HWND, UINT, WPARAM, LPARAM);
struct HMODULE__ { int unused; };
typedef HMODULE__* HMODULE;
typedef INT_PTR (WINAPI *FARPROC)();

typedef struct tagINITCOMMONCONTROLSEX { DWORD dwSize, dwICC; } INITCOMMONCONTROLSEX;
typedef struct tagTCITEMA { UINT mask; DWORD dwState, dwStateMask; LPSTR pszText; int cchTextMax, iImage; LPARAM lParam; } TCITEMA;
typedef struct tagTCITEMW { UINT mask; DWORD dwState, dwStateMask; LPWSTR pszText; int cchTextMax, iImage; LPARAM lParam; } TCITEMW;
typedef struct tagPOINT { LONG x, y; } POINT;
typedef struct tagMSG { HWND hwnd; UINT message; WPARAM wParam; LPARAM lParam; DWORD time; POINT pt; } MSG;

// The file dialogs' record in both forms, every field of the full structure.
#define SIM_OPENFILENAME(NAME, CH)                                                                        \
  typedef struct tag##NAME {                                                                             \
    DWORD lStructSize; HWND hwndOwner; HINSTANCE hInstance; const CH* lpstrFilter; CH* lpstrCustomFilter; \
    DWORD nMaxCustFilter, nFilterIndex; CH* lpstrFile; DWORD nMaxFile; CH* lpstrFileTitle;                \
    DWORD nMaxFileTitle; const CH* lpstrInitialDir; const CH* lpstrTitle; DWORD Flags;                   \
    WORD nFileOffset, nFileExtension; const CH* lpstrDefExt; LPARAM lCustData; void* lpfnHook;           \
    const CH* lpTemplateName; void* pvReserved; DWORD dwReserved, FlagsEx;                               \
  } NAME;
SIM_OPENFILENAME(OPENFILENAMEA, char)
SIM_OPENFILENAME(OPENFILENAMEW, wchar_t)
#undef SIM_OPENFILENAME

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define MAKEINTRESOURCEA(i) ((LPSTR)(uintptr_t)(WORD)(i))
#define MAKEINTRESOURCEW(i) ((LPWSTR)(uintptr_t)(WORD)(i))
#define LOWORD(l) ((WORD)((uintptr_t)(l) & 0xFFFF))
#define HIWORD(l) ((WORD)(((uintptr_t)(l) >> 16) & 0xFFFF))
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r)) | ((WORD)((BYTE)(g)) << 8) | (((DWORD)(BYTE)(b)) << 16)))

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1
#define FILE_SHARE_WRITE 0x2
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define FILE_ATTRIBUTE_NORMAL 0x80
#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_FLAG_NO_BUFFERING 0x20000000u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000u
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

#define NO_ERROR 0
#define ERROR_SUCCESS 0
#define ERROR_INVALID_FUNCTION 1
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_NOT_READY 21
#define ERROR_CRC 23
#define ERROR_SECTOR_NOT_FOUND 27
#define ERROR_WRITE_FAULT 29
#define ERROR_READ_FAULT 30
#define ERROR_SHARING_VIOLATION 32
#define ERROR_LOCK_VIOLATION 33
#define ERROR_BUSY 170
#define ERROR_HANDLE_EOF 38
#define ERROR_NOT_SUPPORTED 50
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_DISK_FULL 112
#define ERROR_NEGATIVE_SEEK 131
#define ERROR_NOT_LOCKED 158
#define ERROR_CALL_NOT_IMPLEMENTED 120
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_ALREADY_EXISTS 183
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_INVALID_ADDRESS 487
#define ERROR_NO_MORE_FILES 18
#define ERROR_MORE_DATA 234
#define ERROR_BUFFER_OVERFLOW 111
#define ERROR_INVALID_WINDOW_HANDLE 1400

#define IOCTL_DISK_GET_DRIVE_GEOMETRY 0x00070000u
#define IOCTL_DISK_GET_PARTITION_INFO 0x00074004u
#define IOCTL_DISK_GET_LENGTH_INFO 0x0007405Cu
#define FSCTL_LOCK_VOLUME 0x00090018u
#define FSCTL_UNLOCK_VOLUME 0x0009001Cu
#define FSCTL_DISMOUNT_VOLUME 0x00090020u
#define IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS 0x00560000u
#define IOCTL_STORAGE_QUERY_PROPERTY 0x002D1400u
#define FSCTL_ALLOW_EXTENDED_DASD_IO 0x00090083u
#define IOCTL_DISK_UPDATE_PROPERTIES 0x00070140u

#define DRIVE_UNKNOWN 0
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
#define DRIVE_REMOTE 4
#define DRIVE_CDROM 5
#define DRIVE_RAMDISK 6

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

// The ANSI code page is Windows-1252, a Western one; wide texts are UTF-16
// code units, one per WCHAR, as on Windows.
#define CP_ACP 0
#define CP_UTF8 65001
#define OFN_HIDEREADONLY 0x4
#define OFN_OVERWRITEPROMPT 0x2

#define MEM_COMMIT 0x1000
#define MEM_RESERVE 0x2000
#define MEM_RELEASE 0x8000
#define PAGE_READWRITE 0x04
#define HEAP_ZERO_MEMORY 0x8

#define MB_OK 0x0
#define MB_YESNO 0x4
#define MB_ICONERROR 0x10
#define MB_ICONWARNING 0x30
#define MB_ICONINFORMATION 0x40
#define MB_DEFBUTTON2 0x100
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5
#define PM_REMOVE 0x1
#define ICC_LISTVIEW_CLASSES 0x1
#define ICC_TAB_CLASSES 0x8
#define ICC_BAR_CLASSES 0x4
#define ICC_STANDARD_CLASSES 0x4000
#define TCIF_TEXT 0x1

#define WM_APP 0x8000
#define WM_DESTROY 0x0002
#define WM_QUIT 0x0012
#define WM_CLOSE 0x0010
#define WM_QUERYENDSESSION 0x0011
#define WM_NOTIFY 0x004E
#define WM_SETICON 0x0080
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_DRAWITEM 0x002B
#define WM_MEASUREITEM 0x002C

#define WM_DEVICECHANGE 0x0219
#define MAKEWPARAM(l, h) ((WPARAM)(((DWORD)(WORD)(l)) | (((DWORD)(WORD)(h)) << 16)))
#define CB_ERR (-1)
#define CB_ADDSTRING 0x0143
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_GETLBTEXTLEN 0x0149
#define CB_RESETCONTENT 0x014B
#define CB_SETCURSEL 0x014E
#define CBN_SELCHANGE 1
#define CBN_EDITCHANGE 5
#define LVM_REDRAWITEMS 0x1015
#define TCM_INSERTITEMA 0x1307
#define TCM_INSERTITEMW 0x133E
#define TTM_ACTIVATE 0x0401
#define TTM_ADDTOOLA 0x0404
#define TTM_DELTOOLA 0x0405
#define TTF_IDISHWND 0x0001
#define TTF_SUBCLASS 0x0010

// Errors and threads
DWORD GetLastError();
void SetLastError(DWORD error);
HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId);
void Sleep(DWORD milliseconds);
// Events, critical sections and waits, with Windows' rules: an auto-reset
// event lets one wait through and resets; a thread's handle is signalled when
// the thread has returned.
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu
typedef struct _CRITICAL_SECTION { void* impl; } CRITICAL_SECTION, *LPCRITICAL_SECTION;
void InitializeCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
typedef struct _SYSTEM_INFO {
  WORD wProcessorArchitecture, wReserved;
  DWORD dwPageSize;
  LPVOID lpMinimumApplicationAddress, lpMaximumApplicationAddress;
  ULONG_PTR dwActiveProcessorMask;
  DWORD dwNumberOfProcessors, dwProcessorType, dwAllocationGranularity;
  WORD wProcessorLevel, wProcessorRevision;
} SYSTEM_INFO, *LPSYSTEM_INFO;
void GetSystemInfo(LPSYSTEM_INFO info);
DWORD GetTickCount();
void GetSystemTimeAsFileTime(LPFILETIME time);
BOOL GetVersionExA(LPOSVERSIONINFOA info);
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int bytes, LPWSTR out, int outChars);
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);

// Files and devices
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES attributes,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
// The legacy family's wide calls are stubs: they fail with ERROR_CALL_NOT_IMPLEMENTED there.
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES attributes,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL DeleteFileA(LPCSTR path);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);
DWORD SetFilePointer(HANDLE file, LONG distanceLow, PLONG distanceHigh, DWORD method);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL SetEndOfFile(HANDLE file);
BOOL FlushFileBuffers(HANDLE file);
BOOL CloseHandle(HANDLE handle);
DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* filePart);
DWORD GetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR buffer, LPWSTR* filePart);
UINT GetDriveTypeA(LPCSTR root);
// The console: standard output and error are pipes; input a pipe, or a
// console when a test types into it (sim_control.h). Console calls beyond
// these (AttachConsole, WriteConsoleW) are not exported: the code finds none.
#define STD_INPUT_HANDLE (static_cast<DWORD>(-10))
#define STD_OUTPUT_HANDLE (static_cast<DWORD>(-11))
#define STD_ERROR_HANDLE (static_cast<DWORD>(-12))
#define ATTACH_PARENT_PROCESS (static_cast<DWORD>(-1))
#define CTRL_C_EVENT 0
#define CTRL_BREAK_EVENT 1
#define CTRL_CLOSE_EVENT 2
#define CP_OEMCP 1
typedef BOOL(WINAPI* PHANDLER_ROUTINE)(DWORD event);
#define SEM_FAILCRITICALERRORS 0x0001
#define SEM_NOOPENFILEERRORBOX 0x8000
UINT SetErrorMode(UINT mode);
HANDLE GetStdHandle(DWORD which);
BOOL GetConsoleMode(HANDLE console, LPDWORD mode);
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add);
// KERNEL32 calls of Windows 2000 and later, reached through GetProcAddress (see sim_control.h).
HANDLE FindFirstVolumeW(LPWSTR name, DWORD chars);
BOOL FindNextVolumeW(HANDLE search, LPWSTR name, DWORD chars);
BOOL FindVolumeClose(HANDLE search);
BOOL GetVolumeNameForVolumeMountPointW(LPCWSTR mountPoint, LPWSTR name, DWORD chars);
BOOL GetVolumePathNameW(LPCWSTR path, LPWSTR out, DWORD chars);
DWORD GetFinalPathNameByHandleW(HANDLE file, LPWSTR out, DWORD chars, DWORD flags);
DWORD QueryDosDeviceW(LPCWSTR name, LPWSTR out, DWORD chars);
BOOL GetComputerNameW(LPWSTR out, LPDWORD chars);
BOOL DeleteFileW(LPCWSTR path);
BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                     LPDWORD returned, LPOVERLAPPED overlapped);

// Memory
LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect);
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type);
HANDLE GetProcessHeap();
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T size);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID memory);

// Libraries: a few system DLLs with the exports the code asks for (see sim_control.h)
HMODULE LoadLibraryA(LPCSTR name);
HMODULE GetModuleHandleA(LPCSTR name);
FARPROC GetProcAddress(HMODULE library, LPCSTR name);
BOOL FreeLibrary(HMODULE library);
void InitCommonControls();
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* classes);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideChars, LPSTR out, int outBytes,
                        LPCSTR defaultChar, BOOL* usedDefault);

// Windows: recorded, see sim_control.h. On the legacy family (sim::SetVersion)
// DialogBoxParamW, SetDlgItemTextW and SendMessageW are stubs that answer 0 and
// leave the last error alone: that family's stubs differ in what they answer.
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC procedure, LPARAM parameter);
INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC procedure, LPARAM parameter);
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove);
LRESULT DispatchMessageA(const MSG* message);
void PostQuitMessage(int code);

HWND GetDlgItem(HWND dialog, int id);
BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
UINT GetDlgItemTextA(HWND dialog, int id, LPSTR out, int outSize);
UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR out, int outSize);
BOOL GetOpenFileNameA(OPENFILENAMEA* dialog);
BOOL GetOpenFileNameW(OPENFILENAMEW* dialog);
BOOL GetSaveFileNameA(OPENFILENAMEA* dialog);
BOOL GetSaveFileNameW(OPENFILENAMEW* dialog);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
// Timers are recorded ("SetTimer": wParam the id, lParam the period; "KillTimer": wParam the id).
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT period, void* function);
BOOL KillTimer(HWND window, UINT_PTR id);
// A window's text; a combo box's is its edit field (see sim_control.h).
int GetWindowTextA(HWND window, LPSTR out, int outSize);
BOOL SetWindowTextA(HWND window, LPCSTR text);
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style);

// The registry (HKEY_CURRENT_USER only), profile files, the module's name and
// the user's languages (see sim_control.h). Registry calls answer their error.
struct HKEY__ { int unused; };
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;
typedef WORD LANGID;
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u)))
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define REG_OPTION_NON_VOLATILE 0
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define LANG_NEUTRAL 0x00
#define LANG_CHINESE 0x04
#define LANG_ENGLISH 0x09
#define PRIMARYLANGID(id) (static_cast<WORD>(id) & 0x3FF)
LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY out);
LONG RegCreateKeyExA(HKEY root, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                     LPSECURITY_ATTRIBUTES security, PHKEY out, LPDWORD disposition);
LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, BYTE* data, LPDWORD bytes);
LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD bytes);
LONG RegCloseKey(HKEY key);
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR out, DWORD size, LPCSTR path);
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR text, LPCSTR path);
DWORD GetModuleFileNameA(HMODULE module, LPSTR out, DWORD size);
DWORD GetFileAttributesA(LPCSTR path);
LANGID GetUserDefaultLangID();
LANGID GetUserDefaultUILanguage();  // Windows 2000 and later: looked up in KERNEL32.DLL

// The end of a job behind other windows: recorded as "FlashWindowEx" (wParam
// the flags), "FlashWindow" and "MessageBeep" (wParam the sound). The
// foreground window is the one sim::SetForegroundWindow names.
typedef struct {
  UINT cbSize;
  HWND hwnd;
  DWORD dwFlags;
  UINT uCount;
  DWORD dwTimeout;
} FLASHWINFO, *PFLASHWINFO;
#define FLASHW_TRAY 0x00000002
#define FLASHW_TIMERNOFG 0x0000000C
#define MB_ICONHAND 0x00000010L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
HWND GetForegroundWindow();
BOOL FlashWindow(HWND window, BOOL invert);
BOOL FlashWindowEx(PFLASHWINFO info);  // Windows 98 and 2000 on: looked up in USER32.DLL
BOOL MessageBeep(UINT sound);
// Files dropped on a window (sim::MakeDrop). As Windows: index 0xFFFFFFFF
// gives the number of files; a NULL buffer gives the name's length; else the
// name is copied, cut to the buffer, and its copied length returned (0 for an
// index past the last file). DragFinish releases the drop.
struct HDROP__ { int unused; };
typedef HDROP__* HDROP;
UINT DragQueryFileA(HDROP drop, UINT index, LPSTR out, UINT outSize);
UINT DragQueryFileW(HDROP drop, UINT index, LPWSTR out, UINT outSize);  // Windows NT: looked up in SHELL32.DLL
void DragFinish(HDROP drop);

// Taskbar progress: OLE32.DLL's CoInitialize, CoCreateInstance and CoUninitialize
// and USER32.DLL's RegisterWindowMessageA, looked up at run time. CoCreateInstance
// gives ITaskbarList3 (see win_api.h) for the taskbar list's class once COM is
// started on the calling thread; see sim_control.h.
typedef uint64_t ULONGLONG;
typedef int32_t HRESULT;
typedef struct {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID;
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOINTERFACE ((HRESULT)0x80004002)
#define E_POINTER ((HRESULT)0x80004003)
#define E_UNEXPECTED ((HRESULT)0x8000FFFF)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
HRESULT CoInitialize(void* reserved);
HRESULT CoCreateInstance(const GUID* classId, void* outer, DWORD context, const GUID* interfaceId, void** object);
void CoUninitialize();
UINT RegisterWindowMessageA(LPCSTR name);

// Networking and the shell (sockets mapped to loopback)
#include "sim_net.h"
