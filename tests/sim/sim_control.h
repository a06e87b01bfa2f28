// Scripting hooks of the simulated Win32 layer: what tests set up and what
// they read back. Everything here is test-only; the product never includes it.
#pragma once

#include "sim_win32.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sim {

// Forget every device, file script, window record, counter and answer.
// Call at the start of each test (the fixture in tests/unit/sim_fixture.h does).
void Reset();

// The standard handles (sim_console.cpp): what the program wrote to standard
// output and error, as bytes; standard input a console holding `typed` (a
// pipe at its end, which is no console, until this is called); the handler of
// SetConsoleCtrlHandler called as a Ctrl+C would call it (false: none, or it
// declined, and Windows would end the process).
std::string StdOut();
std::string StdErr();
void TypeIntoConsole(const std::string& typed);
bool PressCtrlC();

// ---- Block devices (opened by their raw path, e.g. "\\\\.\\E:") ----------------
struct DeviceSpec {
  uint64_t sizeBytes = 0;                       // the device's end; reads stop and writes fail there
  std::function<uint8_t(uint64_t offset)> pattern;  // initial content; zeros when empty.
                                                // Content is generated, so a 1 GiB device costs no memory;
                                                // written sectors are kept in an overlay.
  std::function<void(uint64_t offset, uint8_t* out, size_t length)> fill;  // when set, used instead of
                                                // `pattern`: fills a whole range at once (fast for large devices)
  DWORD openError = 0;                          // nonzero: every CreateFileA of the path fails with it
  int opensBeforeError = 0;                     // ... every one after this many that succeed
  DWORD readErrorAll = 0;                       // nonzero: every read fails with it (a not-ready drive)
  std::map<uint64_t, DWORD> badReadSectors;     // a read touching the sector fails whole with the error
  std::map<uint64_t, DWORD> badWriteSectors;    // a write touching the sector fails whole with the error
                                                // (an error of 0 fails the call with last error 0)
  std::set<uint64_t> droppedWriteSectors;       // a write touching the sector reports success and stores
                                                // nothing of the whole call (a block lost silently)
  uint64_t storedSectors = 0;                   // nonzero: a fake-capacity device that keeps only its first N
                                                // sectors; sector s is read and written at sector s mod N
  bool lateWritesLost = false;                  // with storedSectors: writes past them are lost, not wrapped
  DWORD endReadError = 0;                       // a read starting at the end: 0 = succeeds with 0 bytes
  DWORD endWriteError = ERROR_DISK_FULL;        // a write across the end writes what fits, then fails with it
  DWORD crossEndError = 0;                      // nonzero: a read or write reaching past the end moves nothing
                                                // and fails whole with it, as on a physical disk under Windows
                                                // (ERROR_SECTOR_NOT_FOUND); the two above then do not apply
  bool answersLength = false;                   // answers IOCTL_DISK_GET_LENGTH_INFO with sizeBytes (XP and later)
  bool hasGeometry = false;                     // answers IOCTL_DISK_GET_DRIVE_GEOMETRY with `geometry`
  DISK_GEOMETRY geometry{};
  bool hasPartition = false;                    // answers IOCTL_DISK_GET_PARTITION_INFO with this length
  uint64_t partitionLength = 0;
  DWORD sizeQueryError = ERROR_NOT_SUPPORTED;   // error of a size request the device does not answer
  bool lockGranted = true;                      // FSCTL_LOCK_VOLUME answer
  int lockRefusals = 0;                         // the first this many lock requests are refused (a program
                                                // that lets go of the volume slowly)
  bool describes = false;                       // answers IOCTL_STORAGE_QUERY_PROPERTY (2000 and later); a
                                                // volume's device answers for the disk it lies on
  std::string vendor, product, serial;          // its strings (padded with spaces, as devices send them)
  DWORD busType = 0;                            // STORAGE_BUS_TYPE: 7 USB, 0xB SATA, 0x11 NVMe, ...
  bool removableMedia = false;
  DWORD dismountError = 0;                      // nonzero: FSCTL_DISMOUNT_VOLUME fails with it
};
// Takes the device away, as when it is pulled; its open handles fail with ERROR_NOT_READY.
void RemoveDevice(const std::string& path);
void AddDevice(const std::string& path, const DeviceSpec& setup);
std::vector<uint8_t> DeviceBytes(const std::string& path, uint64_t offset, uint64_t length);
struct DeviceStats {
  int opens = 0;            // successful CreateFileA
  int openHandles = 0;      // still open
  int lockRequests = 0, unlockRequests = 0, dismountRequests = 0;
  int locksHeld = 0;        // granted locks not yet unlocked or closed
  int extendedDasdRequests = 0;  // FSCTL_ALLOW_EXTENDED_DASD_IO
  int updatePropertiesRequests = 0;  // IOCTL_DISK_UPDATE_PROPERTIES; each is also an Event "UpdateProperties"
  int geometryRequests = 0, partitionRequests = 0, lengthRequests = 0;
  uint64_t bytesWritten = 0, bytesRead = 0;
  std::vector<uint64_t> writeOffsets;  // byte offset of every write call, in order
  DWORD lastOpenAccess = 0, lastOpenShare = 0, lastOpenDisposition = 0, lastOpenFlags = 0;  // last CreateFileA
};
DeviceStats Device(const std::string& path);
// Called after every ReadFile/WriteFile on a device, on the calling thread with no
// lock held: the device path, the byte offset, the bytes moved and whether it wrote.
// Lets a test act in the middle of a job (press Cancel during a given block).
void SetDeviceTransferHook(std::function<void(const std::string& path, uint64_t offset, DWORD bytes, bool write)> hook);

// ---- Volumes behind drive letters ----------------------------------------------
struct VolumeSpec {
  int diskNumber = -1;           // the physical disk it lies on; -1: the extents request is not
                                 // answered (older NT, Wine), so it seems to lie on no disk
  uint64_t offset = 0, length = 0;  // where it lies on that disk, in bytes
  std::string folder;            // host folder that "L:\..." file paths open; empty: none
  std::vector<int> moreDisks;    // further extents, one on each of these disks (a spanned volume)
  std::string mountedAt;         // a folder where it is mounted too ("C:\mnt\data\"); empty: none
};
// Drive L: as Windows has it: "\\.\L:" answers IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS; its lock is
// refused while a file opened through "L:\..." is open; FSCTL_DISMOUNT_VOLUME dismounts it until its
// lock is let go; while it is mounted (neither locked nor dismounted) a write through
// "\\.\PHYSICALDRIVEn" into its extent fails whole with ERROR_ACCESS_DENIED. Registers the device
// "\\.\L:" (`length` bytes) unless one is there already.
void AddVolume(char letter, const VolumeSpec& setup);
bool VolumeMounted(char letter);
// A volume without a drive letter, known by `name` (its volume name is
// "\\?\Volume{name}\"), mounted in `setup.mountedAt` if that is given; the same
// behaviour as a lettered one otherwise.
void AddLetterlessVolume(const std::string& name, const VolumeSpec& setup);
bool LetterlessVolumeMounted(const std::string& name);
// The volume name Windows gives a lettered volume ("\\?\Volume{E}\").
std::string VolumeName(char letter);
// `letter` as a subst drive of `target` ("E:\images"): QueryDosDeviceW answers "\??\E:\images",
// and files under "S:\" open there.
void AddSubst(char letter, const std::string& target);
// A junction: files under `folder` ("C:\\link") open under `target` ("E:\\"). As on Windows, only an
// open file's final path sees through it; GetVolumePathNameW does not.
void AddJunction(const std::string& folder, const std::string& target);
// What GetComputerNameW answers; "SIMHOST" after Reset.
constexpr const char* kComputerName = "SIMHOST";
// What GetWindowsDirectoryA answers; "C:\WINDOWS" after Reset.
void SetWindowsDirectory(const std::string& path);

// ---- Registry (HKEY_CURRENT_USER), the module's file and the user's languages ----
// Keys are named below HKEY_CURRENT_USER ("Software\\Tavrin") and compared
// without case; a value is its type and its bytes as stored (a REG_SZ may lack
// its NUL, as in a real registry).
struct RegistryValue {
  DWORD type = 0;
  std::vector<uint8_t> bytes;
};
void SetRegistryValue(const std::string& key, const std::string& name, DWORD type, const std::vector<uint8_t>& bytes);
void SetRegistryText(const std::string& key, const std::string& name, const std::string& text);  // REG_SZ with NUL
std::optional<RegistryValue> RegistryValueOf(const std::string& key, const std::string& name);
bool RegistryKeyExists(const std::string& key);
int OpenRegistryKeys();  // handles of RegOpenKeyExA/RegCreateKeyExA not yet closed
// What GetModuleFileNameA answers (a host path); "C:\\Program Files\\Tavrin\\tavrin.exe" after Reset.
void SetModuleFileName(const std::string& path);
// What GetUserDefaultUILanguage and GetUserDefaultLangID answer; 0x0409 both after Reset.
void SetUserLanguages(WORD uiLanguage, WORD langId);

// ---- Host files (any other path is a real file on the host) -------------------
// A write that would make the file longer than `limit` bytes writes what fits and
// fails with ERROR_DISK_FULL (a full disk).
void SetFileSizeLimit(const std::string& path, uint64_t limit);
// The same limit, but a write past it reports success with fewer bytes written.
void SetFileShortWrite(const std::string& path, uint64_t limit);
// FlushFileBuffers of the file fails with `error`; GetFileSize of it fails with `error`.
void SetFileFlushError(const std::string& path, DWORD error);
void SetFileSizeError(const std::string& path, DWORD error);
// A read of the file that would return the byte at `offset` or a later one
// (or starts there or later) fails whole with `error`.
void SetFileReadError(const std::string& path, uint64_t offset, DWORD error);

// ---- Handles and memory -------------------------------------------------------
int OpenHandleCount();          // files, devices and driver handles not yet closed
int LiveVirtualAllocs();        // VirtualAlloc blocks not yet freed
int LiveHeapAllocs();           // HeapAlloc blocks not yet freed
int OpenThreadHandles();        // CreateThread handles not yet closed (not part of OpenHandleCount)
void FailVirtualAllocs(int count);  // the next `count` VirtualAlloc calls fail
void FailVirtualAllocsAfter(int succeeding, int count);  // the same after `succeeding` calls that work
void FailHeapAllocs(int count);     // the next `count` HeapAlloc calls fail
void FailCreateThreads(int count);  // the next `count` CreateThread calls fail (out of memory)
// On the legacy platform (platform id 1) CreateThread without a thread-id
// pointer fails with ERROR_INVALID_PARAMETER, as on Windows 95 and 98.
// Transfers on a FILE_FLAG_NO_BUFFERING handle whose buffer address, length or
// position is not a multiple of 512 fail with ERROR_INVALID_PARAMETER, as on Windows.
int UnalignedTransfers();       // how many were rejected

// ---- System version and libraries ----------------------------------------------
void SetVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build);
bool LegacyFamily();  // the version set is of the legacy family
// WS2_32.DLL (every Winsock call the code makes) and COMCTL32.DLL (InitCommonControls,
// InitCommonControlsEx) exist until removed: a library that is not there fails to
// load with ERROR_MOD_NOT_FOUND, a missing export with ERROR_PROC_NOT_FOUND.
void RemoveLibrary(const std::string& name);
void RemoveExport(const std::string& library, const std::string& function);
int LoadedLibraries();  // LoadLibraryA references not yet given back with FreeLibrary

// The libraries also hold KERNEL32.DLL with the calls of Windows 2000 and later the code looks up
// (FindFirstVolumeW, GetVolumePathNameW, GetFinalPathNameByHandleW, ...): RemoveExport makes an older NT.

// ---- Windows: every call is recorded in order --------------------------------
struct Event {
  std::string kind;     // "SetDlgItemText", "SendMessage", "PostMessage", "MessageBox", "CloseHandle", ...
  HWND window = nullptr;  // target window (owner for MessageBox)
  int controlId = 0;    // SetDlgItemText: the control id; SendMessage: id of the target control, 0 if none
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  // "DialogBox": controlId holds the template id. "InitCommonControls(Ex)": wParam the classes.
  // SendMessage TCM_INSERTITEM: text the caption. TTM_ADDTOOLA/TTM_DELTOOLA: wParam holds the TOOLINFOA's uFlags, lParam its uId and style its cbSize.
  std::string text;     // UTF-8: the text, CB_ADDSTRING string, TTM_ADDTOOLA lpszText, closed file's path
  std::string caption;  // MessageBox caption (UTF-8)
  UINT style = 0;       // MessageBox style (TTM_ADDTOOLA: cbSize)
  bool wide = false;    // the wide-character variant was called
  bool quitPending = false;  // MessageBox: a quit message was pending, so the box closed at once unseen
};
// The taskbar button: ITaskbarList3's calls recorded as "SetProgressState"
// (wParam the state) and "SetProgressValue" (wParam completed, lParam total),
// window the button's. Before Windows 7 the taskbar list lacks that interface:
// CoCreateInstance answers E_NOINTERFACE. Present again after Reset.
void SetTaskbarProgressInterface(bool present);
int TaskbarObjectsHeld();  // interfaces given out and not released
int ComStartsOwed();       // successful CoInitialize calls not matched by CoUninitialize
std::vector<Event> Events();
void ClearEvents();
HWND MakeWindow(const std::string& name);   // a fake top-level window (e.g. the main dialog)
int ControlIdOf(HWND window);               // id a GetDlgItem handle stands for, 0 otherwise
HWND ParentOf(HWND window);
// Answers message boxes; runs on the calling thread, may block (to test ordering).
// Default: IDOK for MB_OK, IDYES for MB_YESNO.
void SetMessageBoxHandler(std::function<int(const Event&)> handler);
// The window GetForegroundWindow answers; none after Reset (another program's is in front).
void SetForegroundWindow(HWND window);
// Control texts, as GetDlgItemText reads them (a user typing) and SetDlgItemText leaves them. UTF-8.
void SetControlText(HWND dialog, int id, const std::string& text);
std::string ControlText(HWND dialog, int id);
// A file dialog as the code filled it; texts in UTF-8, the filter's NULs shown as '|'.
struct FileDialogCall {
  bool save = false, wide = false;
  HWND owner = nullptr;
  DWORD structSize = 0, flags = 0, maxFile = 0, filterIndex = 0;
  std::string title, filter, defaultExtension, initialName;
  std::optional<std::string> initialFolder;  // lpstrInitialDir, when given
  bool otherFieldsZero = false;  // no custom filter, file title, hook, template or reserved field
};
// Answers file dialogs with the name the user picks (UTF-8) or nullopt (Cancel,
// the default). As on Windows, a picked name without extension gets the default
// one, an ANSI dialog returns it through the code page, and a name that does
// not fit the buffer fails the dialog with the size needed in its first unit.
void SetFileDialogHandler(std::function<std::optional<std::string>(const FileDialogCall&)> handler);
// Posted quit messages of the calling thread not yet taken out by PeekMessageA.
bool QuitPending();
// Combo boxes: CB_ADDSTRING, CB_RESETCONTENT, CB_SETCURSEL (which sets the edit field's text),
// CB_GETCURSEL, CB_GETCOUNT and CB_GETLBTEXT(LEN) keep a list per window, unless a send handler is set.
std::vector<std::string> ComboItems(HWND combo);
// Typing into a window's own text (a combo box's edit field): the selection is dropped.
void TypeWindowText(HWND window, const std::string& text);
// Answers SendMessageA for a message (default 0).
void SetSendMessageHandler(std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler);

std::string Utf8(const wchar_t* text);
std::wstring Utf16(const std::string& utf8);  // one UTF-16 code unit per wchar_t, as WCHAR texts hold

// A drop of these files, as Explorer hands it to WM_DROPFILES; DropsHeld()
// counts the drops not yet given back with DragFinish.
HDROP MakeDrop(const std::vector<std::wstring>& files);
int DropsHeld();

}  // namespace sim
