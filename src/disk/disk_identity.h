// What a listed disk or drive is: the facts Windows gives of it when the list
// is made, kept with its entry and asked again at Start, so that a disk that
// was pulled and replaced (Windows hands its number to the next one) is never
// written in its place.
#pragma once

#include "win_api.h"

#include <cstdint>

constexpr uint32_t kIdentityTextBytes = 48;

// Bus types of IOCTL_STORAGE_QUERY_PROPERTY that the code tells apart.
enum : uint32_t {
  kBusScsi = 0x1, kBusAtapi = 0x2, kBusAta = 0x3, kBusUsb = 0x7, kBusRaid = 0x8, kBusSas = 0xA, kBusSata = 0xB,
  kBusSd = 0xC, kBusMmc = 0xD, kBusNvme = 0x11,
};

struct DiskIdentity {
  char designator;        // '0'..'9' for a physical disk, a letter for a drive
  bool ready;             // the device read; false for a drive without its medium
  uint64_t lengthBytes;   // 0 when no size was given
  bool described;         // Windows answered the storage property (2000 and later)
  char vendor[kIdentityTextBytes];   // trimmed; empty when not given
  char product[kIdentityTextBytes];
  char serial[kIdentityTextBytes];
  uint32_t busType;
  bool removableMedia;
};

// Opens the device the designator names (NT family) and reads its identity;
// false when it cannot be opened or read and is not merely without a medium.
bool ReadDiskIdentity(char designator, DiskIdentity* out);
// The same disk: every fact recorded is the same.
bool SameDisk(const DiskIdentity& a, const DiskIdentity& b);
// Windows reports it as an internal disk: on an ATA, SATA, SCSI, SAS, NVMe or
// RAID bus, or a fixed disk not on USB, SD or MMC.
bool IsInternalDisk(const DiskIdentity& identity);
// "SanDisk Cruzer Blade": vendor and product, as far as given; empty when neither.
void DescribeMaker(const DiskIdentity& identity, char* out, uint32_t outSize);
