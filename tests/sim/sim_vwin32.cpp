// The simulated VWIN32 driver: runs the MS-DOS disk services the legacy
// sector layer asks for on scripted drives, reading its input register by
// register from the 28-byte block, and records every request.
#include "sim_vwin32.h"
#include "sim_vwin32_control.h"

#include <array>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>

namespace {

constexpr uint32_t kSector = 512;
constexpr uint32_t kCarry = 1;
constexpr DWORD kDosIoctl = 1;      // Int 21h 440Dh
constexpr DWORD kDosInt25 = 2;      // absolute read
constexpr DWORD kDosInt26 = 3;      // absolute write
constexpr DWORD kDosDriveInfo = 6;  // Int 21h 73xxh
constexpr uint32_t kFirstAddress = 0x00010000;  // stand-ins start above the null page
constexpr uint32_t kAddressStep = 0x10;

struct SimDrive {
  bool present = false;
  sim::vwin32::DriveSpec setup;
  std::map<uint32_t, std::array<uint8_t, kSector>> written;  // sectors written, over the pattern
  int paramRequestsSeen = 0;
  sim::vwin32::DriveStats stats;
};

struct Driver {
  std::mutex lock;
  int presence = -1;  // -1: follow the platform id; 0 absent; 1 present
  int openAttempts = 0;
  int unresolved = 0;
  SimDrive drives[sim::vwin32::kMaxDrive + 1];
  std::vector<sim::vwin32::Request> requests;
  std::unordered_map<const void*, uint32_t> addressOf;
  std::vector<void*> pointerOf;
  std::function<void(const sim::vwin32::Request&)> hook;
};

// The driver and its drives; written by tests and by whichever thread issues a request, under `lock`.
Driver driver;

void* ResolveLocked(uint32_t address) {
  if (address < kFirstAddress || (address - kFirstAddress) % kAddressStep != 0) return nullptr;
  size_t index = (address - kFirstAddress) / kAddressStep;
  return index < driver.pointerOf.size() ? driver.pointerOf[index] : nullptr;
}

// Where a sector's bytes live: itself, or on a fake-capacity medium the
// sector its number wraps onto.
uint32_t StoredSector(const SimDrive& d, uint32_t sector) {
  return d.setup.storedSectors != 0 ? sector % d.setup.storedSectors : sector;
}

uint8_t ContentByte(const SimDrive& d, uint64_t offset) {
  const uint32_t sector = StoredSector(d, static_cast<uint32_t>(offset / kSector));
  auto it = d.written.find(sector);
  if (it != d.written.end()) return it->second[offset % kSector];
  const uint64_t stored = static_cast<uint64_t>(sector) * kSector + offset % kSector;
  return d.setup.pattern ? d.setup.pattern(stored) : 0;
}

SimDrive* DriveOf(uint32_t number) {
  if (number < 1 || number > sim::vwin32::kMaxDrive) return nullptr;
  SimDrive* d = &driver.drives[number];
  return d->present ? d : nullptr;
}

void Fail(sim::vwin32::Registers& r, uint32_t error) {
  r.flags |= kCarry;
  r.eax = (r.eax & 0xFFFF0000u) | error;
}

bool Touches(const std::set<uint32_t>& sectors, uint32_t start, uint32_t count) {
  auto it = sectors.lower_bound(start);
  return it != sectors.end() && static_cast<uint64_t>(*it) < static_cast<uint64_t>(start) + count;
}

// Moves `count` sectors between the drive and the memory behind `buffer`;
// leaves the carry flag and AX as the service would.
void Transfer(sim::vwin32::Registers& r, uint32_t number, uint32_t start, uint32_t count, uint32_t buffer,
              bool write) {
  SimDrive* d = DriveOf(number);
  if (!d) return Fail(r, sim::vwin32::kDosInvalidDrive);
  uint8_t* memory = static_cast<uint8_t*>(ResolveLocked(buffer));
  if (!memory) {
    ++driver.unresolved;
    return Fail(r, sim::vwin32::kDosInvalidFunction);
  }
  // A start past the last sector is refused even when nothing is to move.
  if (start >= d->setup.sectors || static_cast<uint64_t>(start) + count > d->setup.sectors)
    return Fail(r, sim::vwin32::kDosSectorNotFound);
  if (write) {
    if (d->setup.failWrites || Touches(d->setup.badWriteSectors, start, count))
      return Fail(r, sim::vwin32::kDosWriteFault);
    if (!Touches(d->setup.droppedWriteSectors, start, count)) {
      for (uint32_t i = 0; i < count; ++i) {
        const bool lost = d->setup.lateWritesLost && d->setup.storedSectors != 0 && start + i >= d->setup.storedSectors;
        if (!lost) std::memcpy(d->written[StoredSector(*d, start + i)].data(), memory + i * kSector, kSector);
      }
    }
    ++d->stats.writes;
    d->stats.writeStarts.push_back(start);
  } else {
    if (Touches(d->setup.badSectors, start, count)) return Fail(r, sim::vwin32::kDosReadFault);
    for (uint64_t i = 0; i < static_cast<uint64_t>(count) * kSector; ++i)
      memory[i] = ContentByte(*d, static_cast<uint64_t>(start) * kSector + i);
    ++d->stats.reads;
  }
  r.flags &= ~kCarry;
}

// Reads the 10-byte DISKIO packet at `address` into the request record.
bool ReadPacket(uint32_t address, sim::vwin32::Request& rec) {
  const uint8_t* p = static_cast<const uint8_t*>(ResolveLocked(address));
  if (!p) {
    ++driver.unresolved;
    return false;
  }
  std::memcpy(&rec.packetStart, p, 4);
  std::memcpy(&rec.packetSectors, p + 4, 2);
  std::memcpy(&rec.packetBuffer, p + 6, 4);
  rec.packetRead = true;
  return true;
}

// Int 21h 440Dh: BL drive, BH lock level, CL minor code, CH category, DX
// parameter block or lock permissions.
void GenericIoctl(sim::vwin32::Registers& r, sim::vwin32::Request& rec) {
  if ((r.eax & 0xFFFF) != 0x440D) return Fail(r, sim::vwin32::kDosInvalidFunction);
  uint32_t number = r.ebx & 0xFF;
  uint32_t minor = r.ecx & 0xFF;
  uint32_t category = (r.ecx >> 8) & 0xFF;
  SimDrive* d = DriveOf(number);
  if (category != 0x08 && category != 0x48) return Fail(r, sim::vwin32::kDosInvalidFunction);
  if (!d) return Fail(r, sim::vwin32::kDosInvalidDrive);
  bool extended = category == 0x48;
  switch (minor) {
    case 0x60: {  // get device parameters
      uint8_t* block = static_cast<uint8_t*>(ResolveLocked(r.edx & 0xFFFF'FFFFu));
      if (!block) {
        ++driver.unresolved;
        return Fail(r, sim::vwin32::kDosInvalidFunction);
      }
      rec.paramSpecial = block[0];
      if (d->paramRequestsSeen++ < d->setup.failParamRequests) return Fail(r, sim::vwin32::kDosInvalidFunction);
      std::memcpy(block + 15, &d->setup.total16, 2);
      std::memcpy(block + 28, &d->setup.total32, 4);
      break;
    }
    case 0x4A: {  // lock logical volume
      ++d->stats.lockRequests;
      if (extended ? d->setup.refuseLock48 : d->setup.refuseLock08) return Fail(r, sim::vwin32::kDosLockViolation);
      ++d->stats.locksGranted;
      ++d->stats.locksHeld;
      break;
    }
    case 0x6A: {  // unlock logical volume
      ++d->stats.unlockRequests;
      if (extended ? d->setup.refuseUnlock48 : d->setup.refuseUnlock08) return Fail(r, sim::vwin32::kDosLockViolation);
      if (d->stats.locksHeld == 0) return Fail(r, sim::vwin32::kDosLockViolation);
      ++d->stats.unlocksGranted;
      --d->stats.locksHeld;
      break;
    }
    default:
      return Fail(r, sim::vwin32::kDosInvalidFunction);
  }
  r.flags &= ~kCarry;
}

// Int 25h/26h: AL drive counted from 0; CX 0xFFFF means DS:BX is a DISKIO
// packet, otherwise CX sectors from DX into the buffer at BX.
void AbsoluteDisk(sim::vwin32::Registers& r, sim::vwin32::Request& rec, bool write) {
  uint32_t number = (r.eax & 0xFF) + 1;
  if ((r.ecx & 0xFFFF) == 0xFFFF) {
    if (!ReadPacket(r.ebx, rec)) return Fail(r, sim::vwin32::kDosInvalidFunction);
    return Transfer(r, number, rec.packetStart, rec.packetSectors, rec.packetBuffer, write);
  }
  Transfer(r, number, r.edx & 0xFFFF, r.ecx & 0xFFFF, r.ebx, write);
}

// Int 21h 7305h: DL drive (1 = A), ECX -1, SI bit 0 = write, DS:EBX packet.
void ExtendedDisk(sim::vwin32::Registers& r, sim::vwin32::Request& rec) {
  if ((r.eax & 0xFFFF) != 0x7305 || r.ecx != 0xFFFFFFFFu) return Fail(r, sim::vwin32::kDosInvalidFunction);
  uint32_t number = r.edx & 0xFF;
  if (number == 0) return Fail(r, sim::vwin32::kDosInvalidDrive);  // "default drive": not what the layer means
  if (!ReadPacket(r.ebx, rec)) return Fail(r, sim::vwin32::kDosInvalidFunction);
  Transfer(r, number, rec.packetStart, rec.packetSectors, rec.packetBuffer, (r.esi & 1) != 0);
}

}  // namespace

bool SimVwin32Open() {
  std::lock_guard<std::mutex> guard(driver.lock);
  ++driver.openAttempts;
  bool present = driver.presence >= 0 ? driver.presence == 1 : false;
  if (driver.presence < 0) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    present = GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
  }
  if (!present) SetLastError(ERROR_FILE_NOT_FOUND);
  return present;
}

namespace {

BOOL IoctlLocked(DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned) {
  sim::vwin32::Request rec;
  rec.code = code;
  static_assert(sizeof(sim::vwin32::Registers) == 28, "DIOC_REGISTERS is seven 32-bit registers");
  if (!in || inSize < sizeof(sim::vwin32::Registers)) {
    rec.result = FALSE;
    driver.requests.push_back(rec);
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::memcpy(&rec.in, in, sizeof rec.in);
  sim::vwin32::Registers r = rec.in;
  switch (code) {
    case kDosIoctl: GenericIoctl(r, rec); break;
    case kDosInt25: AbsoluteDisk(r, rec, false); break;
    case kDosInt26: AbsoluteDisk(r, rec, true); break;
    case kDosDriveInfo: ExtendedDisk(r, rec); break;
    default:
      rec.result = FALSE;
      driver.requests.push_back(rec);
      SetLastError(ERROR_NOT_SUPPORTED);
      return FALSE;
  }
  if (out && outSize >= sizeof r) std::memcpy(out, &r, sizeof r);
  if (returned) *returned = out ? sizeof r : 0;
  rec.out = r;
  rec.carry = (r.flags & kCarry) != 0;
  rec.result = TRUE;
  driver.requests.push_back(rec);
  return TRUE;
}

}  // namespace

BOOL SimVwin32Ioctl(DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned) {
  std::function<void(const sim::vwin32::Request&)> hook;
  sim::vwin32::Request last;
  BOOL result;
  {
    std::lock_guard<std::mutex> guard(driver.lock);
    result = IoctlLocked(code, in, inSize, out, outSize, returned);
    hook = driver.hook;
    last = driver.requests.back();
  }
  if (hook) hook(last);
  return result;
}

DWORD SimVwin32Address(const void* address) {
  std::lock_guard<std::mutex> guard(driver.lock);
  auto it = driver.addressOf.find(address);
  if (it != driver.addressOf.end()) return it->second;
  uint32_t token = kFirstAddress + static_cast<uint32_t>(driver.pointerOf.size()) * kAddressStep;
  driver.pointerOf.push_back(const_cast<void*>(address));
  driver.addressOf.emplace(address, token);
  return token;
}

void SimVwin32Reset() {
  std::lock_guard<std::mutex> guard(driver.lock);
  driver.presence = -1;
  driver.openAttempts = 0;
  driver.unresolved = 0;
  for (SimDrive& d : driver.drives) d = SimDrive{};
  driver.requests.clear();
  driver.hook = nullptr;
  driver.addressOf.clear();
  driver.pointerOf.clear();
}

namespace sim {
namespace vwin32 {

DriveSpec Medium(uint32_t sectors) {
  DriveSpec setup;
  setup.sectors = sectors;
  if (sectors <= 0xFFFF) {
    setup.total16 = static_cast<uint16_t>(sectors);
  } else {
    setup.total32 = sectors;
  }
  return setup;
}

void SetDriverPresent(bool present) {
  std::lock_guard<std::mutex> guard(driver.lock);
  driver.presence = present ? 1 : 0;
}

void AddDrive(uint8_t drive, const DriveSpec& setup) {
  std::lock_guard<std::mutex> guard(driver.lock);
  if (drive < 1 || drive > kMaxDrive) return;
  driver.drives[drive] = SimDrive{};
  driver.drives[drive].present = true;
  driver.drives[drive].setup = setup;
}

std::vector<uint8_t> DriveBytes(uint8_t drive, uint32_t firstSector, uint32_t sectors) {
  std::lock_guard<std::mutex> guard(driver.lock);
  std::vector<uint8_t> bytes;
  SimDrive* d = DriveOf(drive);
  if (!d) return bytes;
  bytes.resize(static_cast<size_t>(sectors) * kSector);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = ContentByte(*d, static_cast<uint64_t>(firstSector) * kSector + i);
  return bytes;
}

std::vector<Request> Requests() {
  std::lock_guard<std::mutex> guard(driver.lock);
  return driver.requests;
}

void ClearRequests() {
  std::lock_guard<std::mutex> guard(driver.lock);
  driver.requests.clear();
}

void SetRequestHook(std::function<void(const Request&)> hook) {
  std::lock_guard<std::mutex> guard(driver.lock);
  driver.hook = std::move(hook);
}

DriveStats Drive(uint8_t drive) {
  std::lock_guard<std::mutex> guard(driver.lock);
  if (drive < 1 || drive > kMaxDrive) return DriveStats{};
  return driver.drives[drive].stats;
}

int OpenAttempts() {
  std::lock_guard<std::mutex> guard(driver.lock);
  return driver.openAttempts;
}

int UnresolvedAddresses() {
  std::lock_guard<std::mutex> guard(driver.lock);
  return driver.unresolved;
}

void* Resolve(uint32_t address) {
  std::lock_guard<std::mutex> guard(driver.lock);
  return ResolveLocked(address);
}

}  // namespace vwin32
}  // namespace sim
