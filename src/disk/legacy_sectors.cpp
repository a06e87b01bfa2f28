// Sector services of the legacy family: the VWIN32 driver runs MS-DOS disk
// services for us when handed a block of processor registers.
#include "disk/legacy_sectors.h"

#include <cstring>

namespace {

// The platform's DIOC_REGISTERS record, field for field.
struct DiocRegisters {
  uint32_t reg_EBX;
  uint32_t reg_EDX;
  uint32_t reg_ECX;
  uint32_t reg_EAX;
  uint32_t reg_EDI;
  uint32_t reg_ESI;
  uint32_t reg_Flags;
};
static_assert(sizeof(DiocRegisters) == 28, "the driver reads exactly 28 bytes");

#pragma pack(push, 1)
// The published DISKIO packet of Int 25h/26h and Int 21h 7305h.
struct DiskIo {
  uint32_t dwStartSector;
  uint16_t wSectors;
  uint32_t dwBuffer;
};
#pragma pack(pop)
static_assert(sizeof(DiskIo) == 10, "the packet is 10 bytes without padding");

constexpr DWORD kVwin32DosIoctl = 1;      // Int 21h 440Dh
constexpr DWORD kVwin32DosInt25 = 2;      // absolute disk read
constexpr DWORD kVwin32DosInt26 = 3;      // absolute disk write
constexpr DWORD kVwin32DosDriveInfo = 6;  // Int 21h 73xxh

constexpr uint32_t kCarryFlag = 1;
constexpr uint32_t kGenericIoctl = 0x440D;
constexpr uint32_t kExtendedDiskIo = 0x7305;
constexpr uint32_t kGetDeviceParams = 0x0860;
constexpr uint32_t kLock48 = 0x484A;
constexpr uint32_t kLock08 = 0x084A;
constexpr uint32_t kUnlock48 = 0x486A;
constexpr uint32_t kUnlock08 = 0x086A;
constexpr uint32_t kLockLevel1 = 0x100;         // lock level in BH
constexpr uint32_t kLockAllowsWrites = 1;       // DX of the lock: others may write during it
constexpr uint32_t kExtendedRead = 0;           // SI of 7305h
constexpr uint32_t kExtendedWriteFileData = 0x6001;
constexpr uint32_t kPacketForm = 0xFFFF;        // CX of Int 25h/26h: DS:BX is a DISKIO packet
constexpr uint32_t kExtendedCx = 0xFFFFFFFF;    // CX of 7305h, required to be -1
constexpr uint32_t kParamBlockBytes = 256;      // holds the MS-DOS DEVICEPARAMS record and more
constexpr uint32_t kParamTotal16 = 15;
constexpr uint32_t kParamTotal32 = 28;
constexpr uint32_t kLegacySector = 512;

// Every request shares these records: probes run before any job and a job's
// requests come from its one worker, so they never overlap.
DiocRegisters regs;                              // register block in and out; main thread (probes) then the worker
DiskIo diskIo;                                   // the DISKIO packet; same writers as regs
uint8_t paramBlock[kParamBlockBytes];            // get-device-parameters answer; the worker
DWORD bytesReturned;                             // required by DeviceIoControl, never read; same writers as regs
uint8_t probeSector[kLegacySector];              // what a probe reads; main thread

// True when the driver ran the service and left the carry flag clear.
bool Issue(DWORD code) {
  BOOL ok = DeviceIoControl(vwin32Handle, code, &regs, sizeof regs, &regs, sizeof regs, &bytesReturned, nullptr);
  return ok && (regs.reg_Flags & kCarryFlag) == 0;
}

// Int 21h 440Dh with BL the drive (BH the lock level) and CX category and
// minor code; DX, where the request takes one, is set by the caller.
bool GenericIoctl(uint32_t bx, uint32_t cx) {
  regs.reg_EAX = kGenericIoctl;
  regs.reg_EBX = bx;
  regs.reg_ECX = cx;
  regs.reg_Flags = kCarryFlag;
  return Issue(kVwin32DosIoctl);
}

bool LockVolume(uint8_t drive, uint32_t category) {
  regs.reg_EDX = kLockAllowsWrites;
  return GenericIoctl(kLockLevel1 + drive, category);
}

void FillPacket(uint32_t start, uint32_t count, void* buffer) {
  diskIo.dwStartSector = start;
  diskIo.wSectors = static_cast<uint16_t>(count);
  diskIo.dwBuffer = Vwin32Address(buffer);
}

// Reads or writes the sectors the packet names, by the services chosen at start-up.
bool TransferPacket(bool write, uint8_t drive) {
  if (extendedDiskIo) {
    regs.reg_EAX = kExtendedDiskIo;
    regs.reg_EBX = Vwin32Address(&diskIo);
    regs.reg_ECX = kExtendedCx;
    regs.reg_EDX = drive;
    regs.reg_ESI = write ? kExtendedWriteFileData : kExtendedRead;
    return Issue(kVwin32DosDriveInfo);
  }
  regs.reg_EAX = static_cast<uint32_t>(drive) - 1;  // Int 25h/26h count drives from 0
  regs.reg_EBX = Vwin32Address(&diskIo);
  regs.reg_ECX = kPacketForm;
  if (!write) regs.reg_ESI = 0;
  return Issue(write ? kVwin32DosInt26 : kVwin32DosInt25);
}

}  // namespace

HANDLE vwin32Handle = INVALID_HANDLE_VALUE;  // the driver; start-up writes it once
uint8_t extendedDiskIo = 0;                  // 7305h instead of Int 25h/26h; start-up writes it once

void OpenVwin32() {
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  GetVersionExA(&info);
  // The driver exists only on the legacy family; start-up calls us only
  // there, and asking anywhere else would just fail.
  extendedDiskIo = 0;
  if (info.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS) return;
  // The high bits of the build number carry the version on this family.
  if (static_cast<uint16_t>(info.dwBuildNumber & 0xFFFF) > 1000) extendedDiskIo = 1;
  vwin32Handle = CreateFileA("\\\\.\\vwin32", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

bool LegacyQueryDriveSectorCount(uint8_t drive, uint32_t* lastIndex) {
  *lastIndex = 0;
  paramBlock[0] = 1;  // the medium now in the drive, not the drive's default
  regs.reg_EDX = Vwin32Address(paramBlock);
  bool ok = GenericIoctl(drive, kGetDeviceParams);
  if (!ok) {
    regs.reg_EDX = Vwin32Address(paramBlock);  // the failed attempt may have changed it
    ok = GenericIoctl(drive, kGetDeviceParams);
  }
  if (!ok) return false;
  uint16_t total16;
  uint32_t total32;
  std::memcpy(&total16, paramBlock + kParamTotal16, sizeof total16);
  std::memcpy(&total32, paramBlock + kParamTotal32, sizeof total32);
  if (total16 >= 2 && total16 <= 0xFFFC) {
    *lastIndex = static_cast<uint32_t>(total16) - 1;
    return true;
  }
  // A medium that reports no sectors has no last sector: no size, rather than
  // four billion failing reads.
  if (total32 == 0) return false;
  *lastIndex = total32 - 1;
  return true;
}

uint32_t LegacyGetDriveSectorCount(uint8_t drive) {
  uint32_t lastIndex = 0;
  LegacyQueryDriveSectorCount(drive, &lastIndex);
  return lastIndex;
}

uint32_t LegacyReadSectors(uint8_t drive, uint32_t start, uint32_t count, void* buffer) {
  FillPacket(start, count, buffer);
  if (!TransferPacket(false, drive)) return 0;
  return count * kLegacySector;
}

bool LegacyWriteSectors(uint8_t drive, uint32_t start, uint32_t count, void* buffer) {
  FillPacket(start, count, buffer);
  // The lock is taken where it can be; whether the sectors went out is what
  // the write service itself answers.
  if (!extendedDiskIo || !LockVolume(drive, kLock48)) LockVolume(drive, kLock08);
  bool written = TransferPacket(true, drive);
  if (!extendedDiskIo || !GenericIoctl(drive, kUnlock48)) GenericIoctl(drive, kUnlock08);
  return written;
}

bool LegacyProbeDrive(uint8_t drive) {
  if (extendedDiskIo) {
    FillPacket(1, 1, probeSector);
    return TransferPacket(false, drive);
  }
  regs.reg_EAX = static_cast<uint32_t>(drive) - 1;
  regs.reg_EBX = Vwin32Address(probeSector);
  regs.reg_ECX = 1;
  regs.reg_EDX = 0;
  regs.reg_Flags = kCarryFlag;
  return Issue(kVwin32DosInt25);
}
