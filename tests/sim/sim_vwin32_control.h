// Scripting hooks of the simulated VWIN32 driver: the drives it serves, how
// they misbehave, and the record of every request it was handed.
//
// Addresses in registers: the driver takes 32-bit addresses (the parameter
// block, the DISKIO packet, a transfer buffer). On the host a pointer is 64
// bits wide, so the legacy code passes every address through
// Vwin32Address() (win_api.h). Natively that is SimVwin32Address(), which
// hands out a stable 32-bit token per pointer and keeps the token -> pointer
// registry the driver resolves; on Windows it is the pointer itself, which
// fits a register on the 32-bit family that has the driver.
#pragma once

#include "sim_win32.h"

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

namespace sim {
namespace vwin32 {

constexpr uint8_t kMaxDrive = 26;  // drive numbers 1 (A) .. 26 (Z)

// Error codes the simulated services leave in AX with the carry flag set.
constexpr uint32_t kDosInvalidFunction = 0x01;
constexpr uint32_t kDosInvalidDrive = 0x0F;
constexpr uint32_t kDosSectorNotFound = 0x1B;
constexpr uint32_t kDosReadFault = 0x1E;
constexpr uint32_t kDosWriteFault = 0x1D;
constexpr uint32_t kDosLockViolation = 0x21;

struct DriveSpec {
  uint32_t sectors = 0;        // the medium: a transfer reaching past it is refused
  uint16_t total16 = 0;        // parameter block, offset 15
  uint32_t total32 = 0;        // parameter block, offset 28
  std::function<uint8_t(uint64_t offset)> pattern;  // initial content; zeros when empty
  std::set<uint32_t> badSectors;       // a read touching one fails whole
  std::set<uint32_t> badWriteSectors;  // a write touching one fails whole
  std::set<uint32_t> droppedWriteSectors;  // a write touching one reports success and stores nothing
  uint32_t storedSectors = 0;          // nonzero: a fake-capacity medium keeping only its first N sectors;
                                       // sector s is read and written at sector s mod N
  bool lateWritesLost = false;         // with storedSectors: writes past them are lost, not wrapped
  bool failWrites = false;             // every write service fails
  bool refuseLock48 = false, refuseLock08 = false;      // lock requests refused per category
  bool refuseUnlock48 = false, refuseUnlock08 = false;  // unlock requests refused per category
  int failParamRequests = 0;           // the first N get-device-parameters requests fail
};

// A medium of `sectors` sectors whose parameter block carries the count the
// way MS-DOS does: in the 16-bit field when it fits, else in the 32-bit one.
DriveSpec Medium(uint32_t sectors);

// Default: the driver opens exactly when the system reports platform id 1.
void SetDriverPresent(bool present);
void AddDrive(uint8_t drive, const DriveSpec& setup);
std::vector<uint8_t> DriveBytes(uint8_t drive, uint32_t firstSector, uint32_t sectors);

// The seven registers in the order of the platform's DIOC_REGISTERS record.
struct Registers {
  uint32_t ebx = 0, edx = 0, ecx = 0, eax = 0, edi = 0, esi = 0, flags = 0;
};

struct Request {
  DWORD code = 0;          // control code of the DeviceIoControl call
  Registers in, out;       // register block as handed over and as handed back
  BOOL result = FALSE;     // what DeviceIoControl returned
  bool carry = false;      // carry flag set on return (the service failed)
  bool packetRead = false; // the request carried a DISKIO packet, decoded below
  uint32_t packetStart = 0;
  uint16_t packetSectors = 0;
  uint32_t packetBuffer = 0;
  uint8_t paramSpecial = 0;  // get device parameters: byte 0 of the block as read
};
std::vector<Request> Requests();
void ClearRequests();
// Called on the requesting thread after every request has been carried out
// and recorded (e.g. to press Cancel after the Nth block); nullptr removes it.
void SetRequestHook(std::function<void(const Request&)> hook);

struct DriveStats {
  int lockRequests = 0, locksGranted = 0;
  int unlockRequests = 0, unlocksGranted = 0;
  int locksHeld = 0;          // granted locks not yet unlocked
  int reads = 0, writes = 0;  // transfer services that succeeded
  std::vector<uint32_t> writeStarts;  // first sector of every successful write, in order
};
DriveStats Drive(uint8_t drive);

int OpenAttempts();         // CreateFileA calls that reached the driver
int UnresolvedAddresses();  // registers or packets naming an address never handed out
void* Resolve(uint32_t address);  // nullptr when unknown

}  // namespace vwin32
}  // namespace sim
