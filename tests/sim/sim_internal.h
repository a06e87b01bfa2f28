// Pieces the files of the simulated layer share with each other; tests use
// sim_control.h instead.
#pragma once

#include "sim_control.h"

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace sim_internal {

constexpr uint32_t kSimSector = 512;

// A block device: its script, the sectors written so far and its counters.
struct SimDevice {
  sim::DeviceSpec setup;
  std::map<uint64_t, std::array<uint8_t, kSimSector>> overlay;  // sector index -> written content
  sim::DeviceStats stats;
};

// Guards the handle table, the devices and the file scripts; the worker thread
// and the test thread both reach them.
std::mutex& IoMutex();

// The device registered under `path` (compared without regard to case), or null.
// Callers hold IoMutex().
SimDevice* FindDevice(const std::string& path);
// Transfers on a device at byte `position`; false (with the Win32 error, which
// may be 0) when the call fails. Callers hold IoMutex().
bool DeviceRead(SimDevice& device, uint64_t position, uint8_t* out, uint32_t length, uint32_t* done, DWORD* error);
bool DeviceWrite(SimDevice& device, uint64_t position, const uint8_t* in, uint32_t length, uint32_t* done,
                 DWORD* error);
void ResetDevices();

// A volume, with or without a drive letter. Callers hold IoMutex().
struct SimVolume {
  sim::VolumeSpec setup;
  bool dismounted = false;  // until the lock on it is let go
  char letter = 0;          // its drive letter; 0 for none
  std::string name;         // "\\?\Volume{key}\"
  std::string devicePath;   // the device its handles open: "\\.\L:" or the name without its last backslash
};
// The volume whose device is `devicePath` (compared without case), or null.
SimVolume* FindVolumeOfDevice(const std::string& devicePath);
// The device path CreateFile of `path` reaches: a volume name without its
// trailing backslash opens that volume's device; anything else is itself.
std::string DevicePathOf(const std::string& path);
// The host path a file path opens, through drive letters, "\\?\" forms,
// volume names, subst drives and folder mount points; `volumeDevice` is the
// volume's device path and `relative` the path within the volume ("dir\x.img"),
// both empty when the path lies on no volume (the path comes back unchanged).
// Callers hold IoMutex().
std::string HostPathOf(const std::string& path, std::string* volumeDevice, std::string* relative);
// The volume name of a volume's device path, or empty. Callers hold IoMutex().
std::string VolumeNameOfDevice(const std::string& devicePath);
// Whether a write through the disk device `path` at [position, position + length)
// would touch a mounted volume. Callers hold IoMutex().
bool MountedVolumeInTheWay(const std::string& path, uint64_t position, uint64_t length);
// Searches of FindFirstVolumeW not yet closed.
int OpenVolumeSearches();

// A handle for a thread made by CreateThread.
HANDLE RegisterThreadHandle();
// A handle for an event made by CreateEventA (counted among the open handles).
HANDLE RegisterEventHandle();
bool HandleOpen(HANDLE handle);
// The wait state behind an event or a thread handle (sim_sync.cpp).
void AddWaitable(HANDLE handle, bool manualReset, bool signalled);
void SignalWaitable(HANDLE handle);
void ResetSync();

// Appends to the ordered log of window calls (and closed files).
void RecordEvent(const sim::Event& event);

void ResetHandles();
void ResetConsole();
// ReadFile and WriteFile of a standard handle; false for any other handle.
bool ConsoleRead(HANDLE handle, void* buffer, DWORD toRead, DWORD* read);
bool ConsoleWrite(HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written);
void ResetMemory();
void ResetWindows();
void ResetSystem();
void ResetModules();
void ResetCom();
void ResetRegistry();

// What Sleep skipped instead of waiting; GetTickCount counts it as time gone by.
uint64_t SkippedSleepMilliseconds();

bool EqualNoCase(const std::string& a, const std::string& b);
// The ANSI code page (Windows-1252): bytes to UTF-16 units, and back with "?"
// for each character it cannot hold.
std::wstring AnsiToWide(const std::string& ansi);
std::string WideToAnsi(const std::wstring& wide);
// A wide call on the legacy family: fails the call's last error and says so.
bool WideCallIsStub();

}  // namespace sim_internal
