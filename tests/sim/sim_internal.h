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

// A drive letter's volume. Callers hold IoMutex().
struct SimVolume {
  sim::VolumeSpec setup;
  bool dismounted = false;  // until the lock on it is let go
};
SimVolume* FindVolume(char letter);
// The letter of a volume path "\\.\L:" in upper case, or 0.
char VolumeLetterOfPath(const std::string& path);
// The host path that a path "L:\..." opens (its volume letter in `letter`), or
// the path unchanged (`letter` 0). Callers hold IoMutex().
std::string HostPathOf(const std::string& path, char* letter);
// The mounted volume that a write through the disk device `path` at
// [position, position + length) would touch, or 0. Callers hold IoMutex().
char MountedVolumeInTheWay(const std::string& path, uint64_t position, uint64_t length);

// A handle for a thread made by CreateThread.
HANDLE RegisterThreadHandle();

// Appends to the ordered log of window calls (and closed files).
void RecordEvent(const sim::Event& event);

void ResetHandles();
void ResetMemory();
void ResetWindows();
void ResetSystem();
void ResetModules();

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

// KERNEL32.DLL!DeleteFileW, which the legacy family lacks: found through GetProcAddress only.
BOOL SimDeleteFileW(LPCWSTR path);
