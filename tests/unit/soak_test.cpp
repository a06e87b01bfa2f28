// A long run of imaging jobs back to back through the real worker on the
// simulated system: random directions, families, sizes, injected faults and
// cancels at chosen blocks. After every job the user must have been told the
// outcome the rules give, the disk or the image must hold exactly the right
// bytes, nothing may be left open, allocated or locked, and the record must be
// idle for the next job.
//
// The expected results come from a model of the rules written here, block by
// block from the job's parameters; it shares no code with the worker.
//
// TAVRIN_SOAK_JOBS and TAVRIN_SOAK_SEED override the number of jobs and the
// seed. Every job draws its parameters from (seed, job number) alone, so a
// failure names both and can be replayed with TAVRIN_SOAK_SEED=<seed>
// TAVRIN_SOAK_FIRST=<job> TAVRIN_SOAK_JOBS=1.
#include "job_fixture.h"
#include "imaging/job_texts.h"

#include "disk/legacy_sectors.h"
#include "resources/resource_ids.h"
#include "sim_vwin32_control.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace {

namespace vw = sim::vwin32;

constexpr uint64_t kNone = ~uint64_t{0};
constexpr uint64_t kBlock = 65536;
constexpr uint64_t kNtBlocks = kTransferBytes / kBlock;  // blocks per NT transfer
constexpr uint64_t kSector = 512;
constexpr uint64_t kDefaultJobs = 300;
constexpr uint64_t kDefaultSeed = 0x7A5B1C0DEULL;
constexpr DWORD kLegacyExtendedBuild = 2222;  // Int 21h 7305h
constexpr DWORD kLegacyPacketBuild = 950;     // Int 25h/26h
const char kIdleStatus[] = "soak: before the job";

uint64_t EnvNumber(const char* name, uint64_t fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  unsigned long long value = std::strtoull(text, &end, 0);
  return (end != nullptr && *end == '\0') ? value : fallback;
}

// A small, fully specified generator, so a seed replays the same jobs with
// any standard library.
struct Random {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  uint64_t Below(uint64_t n) { return n == 0 ? 0 : Next() % n; }
  uint64_t Between(uint64_t lo, uint64_t hi) { return lo + Below(hi - lo + 1); }
  bool OneIn(uint64_t n) { return Below(n) == 0; }
};

// One job: direction, family, disk, image and what goes wrong.
struct Plan {
  bool legacy = false;
  int32_t mode = kWriteImageToDisk;
  char designator = 'E';
  uint64_t imageBytes = 0;         // write: the image file's size
  uint64_t diskBytes = 0;          // the medium, a whole number of sectors
  DWORD openError = 0;             // NT: every open of the device fails with it
  bool deviceMissing = false;      // NT: nothing answers at the device path
  bool lockRefused = false;        // the volume lock is refused
  uint64_t badReadSector = kNone;  // create: every read touching it fails
  DWORD badReadError = ERROR_CRC;
  uint64_t badWriteSector = kNone; // write: every write touching it fails
  DWORD badWriteError = ERROR_WRITE_FAULT;
  bool notReady = false;           // NT create: every read fails (ERROR_NOT_READY)
  uint64_t imageReadFailsAt = kNone;  // write: image reads starting here or later fail
  uint64_t imageLimit = kNone;     // create: the image's own disk is full at this size
  bool hasPartition = true;        // NT create: the size the device reports
  bool answersLength = false;      // NT: the device gives its true 64-bit length
  bool endFailsWhole = false;      // NT: a transfer crossing the end fails whole (a physical disk)
  uint64_t partitionBytes = 0;
  DWORD legacyBuild = kLegacyExtendedBuild;
  bool legacyNoSize = false;       // legacy create: the drive reports no size
  int64_t cancelAfter = -1;        // -1 never; 0 before the job; n: right after the n-th transfer
  uint32_t volumes = 0;            // NT write to a physical disk: mounted volumes W:, X: lying on it
  bool volumeInUse = false;        // the last of them cannot be locked
  const char* compressed = "";     // the image file's compression (".gz" ...); "" for a plain image
  uint64_t cancelAt = kNone;       // NT: Cancel is pressed during the transfer that writes up to this
                                   // byte, or that reads past it
  bool trim = false;               // NT create of a physical disk with the trim box checked
  uint64_t tableEnd = 0;           // sector 0 is an MBR whose one partition ends here (0: no table)

  std::string Describe() const {
    std::ostringstream out;
    out << (legacy ? "legacy " : "NT ") << (mode == kWriteImageToDisk ? "write" : "create") << " '" << designator
        << "' disk " << diskBytes << " bytes";
    if (mode == kWriteImageToDisk) out << ", image " << imageBytes << " bytes";
    if (legacy) out << ", build " << legacyBuild;
    if (openError != 0) out << ", open fails " << openError;
    if (deviceMissing) out << ", no device";
    if (lockRefused) out << ", lock refused";
    if (badReadSector != kNone) out << ", bad read sector " << badReadSector;
    if (badWriteSector != kNone) out << ", bad write sector " << badWriteSector;
    if (notReady) out << ", not ready";
    if (imageReadFailsAt != kNone) out << ", image unreadable from " << imageReadFailsAt;
    if (imageLimit != kNone) out << ", image disk full at " << imageLimit;
    if (mode == kCreateImageFromDisk && !legacy) {
      if (answersLength) out << ", true length";
      else if (hasPartition) out << ", reports " << partitionBytes << " bytes";
      else out << ", reports no size";
    }
    if (endFailsWhole) out << ", end fails whole";
    if (legacyNoSize) out << ", reports no size";
    if (cancelAfter >= 0) out << ", cancel after transfer " << cancelAfter;
    if (volumes > 0) out << ", " << volumes << " volumes on the disk" << (volumeInUse ? ", one in use" : "");
    if (*compressed != '\0') out << ", image file " << compressed;
    if (cancelAt != kNone) out << ", cancel at byte " << cancelAt;
    if (trim) out << ", trimmed, table ends at " << tableEnd;
    return out.str();
  }
};

// A size in one of the shapes that matter: nothing, a tail under a sector,
// whole blocks, whole sectors, or a few MB ending anywhere.
uint64_t DrawSize(Random& r, bool wholeSectors) {
  switch (r.Below(5)) {
    case 0: return 0;
    case 1: return wholeSectors ? r.Between(1, 3) * kSector : r.Between(1, kSector - 1);
    case 2: return r.Between(1, 24) * kBlock;
    case 3: return r.Between(1, 2000) * kSector;
    default: {
      uint64_t bytes = r.Between(1 << 20, 4 << 20);
      return wholeSectors ? bytes / kSector * kSector : bytes;
    }
  }
}

constexpr uint64_t kHead = 1048576;  // an NT write's first MiB, written last

uint64_t SectorsUp(uint64_t bytes) { return (bytes + kSector - 1) / kSector; }

Plan DrawPlan(Random& r) {
  Plan p;
  p.legacy = r.OneIn(3);
  p.mode = r.OneIn(2) ? kWriteImageToDisk : kCreateImageFromDisk;
  if (p.legacy) {
    // Letters C..Z and the typed digits that stand for drives 3..12.
    p.designator = r.OneIn(5) ? static_cast<char>('0' + r.Below(10)) : static_cast<char>('C' + r.Below(24));
    p.legacyBuild = r.OneIn(2) ? kLegacyExtendedBuild : kLegacyPacketBuild;
  } else {
    p.designator = r.OneIn(4) ? static_cast<char>('0' + r.Below(10)) : static_cast<char>('A' + r.Below(20));
    p.endFailsWhole = r.OneIn(3);
  }

  if (p.mode == kWriteImageToDisk) {
    p.imageBytes = DrawSize(r, false);
    // A quarter of the images fill the disk exactly, up to its last sector.
    p.diskBytes = (SectorsUp(p.imageBytes) + (r.OneIn(4) ? 0 : r.Below(300))) * kSector;
    switch (r.Below(p.legacy ? 6 : 8)) {
      case 0:
        p.lockRefused = true;
        break;
      case 1:  // an image larger than the disk
        if (p.imageBytes >= 2 * kSector) p.diskBytes = r.Between(1, p.imageBytes / kSector - 1) * kSector;
        break;
      case 2:
        if (p.imageBytes >= kSector) {
          p.badWriteSector = r.Below(p.imageBytes / kSector);
          p.badWriteError = r.OneIn(2) ? ERROR_WRITE_FAULT : ERROR_CRC;
        }
        break;
      case 3:  // the image file itself cannot be read from some block on
        if (p.imageBytes > 0) p.imageReadFailsAt = r.Below((p.imageBytes + kBlock - 1) / kBlock) * kBlock;
        break;
      case 6:
        p.openError = r.OneIn(2) ? ERROR_ACCESS_DENIED : ERROR_SHARING_VIOLATION;
        break;
      case 7:
        p.deviceMissing = true;
        break;
      default:
        break;
    }
    if (!p.legacy && p.designator <= '9') {
      p.volumes = static_cast<uint32_t>(r.Below(3));
      p.volumeInUse = p.volumes > 0 && r.OneIn(4);
    }
  } else {
    p.diskBytes = DrawSize(r, true);
    p.partitionBytes = p.diskBytes;
    const uint64_t sectors = p.diskBytes / kSector;
    switch (r.Below(p.legacy ? 5 : 9)) {
      case 0:
        if (sectors > 0) {
          p.badReadSector = r.Below(sectors);
          p.badReadError = r.OneIn(2) ? ERROR_CRC : ERROR_READ_FAULT;
        }
        break;
      case 1:  // the disk that holds the image fills up
        p.imageLimit = r.Below(p.diskBytes + 1);
        break;
      case 2:
        if (p.legacy) p.legacyNoSize = true;
        else p.hasPartition = false;
        break;
      case 5:
        p.partitionBytes = p.diskBytes > kSector ? r.Below(p.diskBytes) : 0;  // reports less than there is
        break;
      case 6:
        p.partitionBytes = p.diskBytes + r.Between(1, 4000) * kSector;  // reports more than there is
        break;
      case 7:
        p.notReady = true;
        break;
      case 3:
        p.answersLength = !p.legacy;
        break;
      case 8:
        if (r.OneIn(2)) p.openError = ERROR_ACCESS_DENIED;
        else p.deviceMissing = true;
        break;
      default:
        break;
    }
  }

  if (r.OneIn(3)) {
    const uint64_t moved = p.mode == kWriteImageToDisk ? p.imageBytes : p.diskBytes;
    const uint64_t transfers = moved / (p.legacy ? kBlock : kNtBlocks * kBlock) + 1;
    p.cancelAfter = static_cast<int64_t>(r.Below(transfers + 2));
  }
  // Drawn last, so the jobs above stay those of earlier seeds. A compressed
  // image changes nothing the user sees; faults of the image file's own
  // reads and writes are left to the plain images.
  if (r.OneIn(4) && p.imageReadFailsAt == kNone && p.imageLimit == kNone) {
    const char* const written[] = {".gz", ".xz", ".zst", ".zip", ".7z", ".tar.xz", ".tar"};
    const char* const created[] = {".gz", ".zst"};
    p.compressed = p.mode == kWriteImageToDisk ? written[r.Below(sizeof(written) / sizeof(written[0]))] : created[r.Below(2)];
  }
  if (p.mode == kCreateImageFromDisk && !p.legacy && p.designator <= '9' && r.OneIn(2)) {
    p.trim = true;
    // Sometimes past the disk's end: refused when the length is known.
    const uint64_t sectors = p.diskBytes / kSector;
    if (sectors >= 2 && !r.OneIn(4)) p.tableEnd = r.Between(2, sectors + (r.OneIn(4) ? 300 : 0));
  }
  return p;
}

// What the user is told at the end of a job.
struct Told {
  std::string word;     // the status line's word; kIdleStatus when none is written
  std::string text, caption;
  UINT style = MB_OK;
  bool owned = true;    // owned by the main window
};

struct Expected {
  Told told;
  std::vector<uint8_t> disk;   // the whole medium after a write
  std::vector<uint8_t> image;  // the image file after a create
};

const Told kWriteCompleted{"Completed", "映像写入完成", "Success"};
const Told kWriteCancelled{"Cancelled", "Image Write Cancelled", "Cancelled"};
const Told kWriteFailed{"Failed", "映像写入失败", "Failure"};
const Told kCreateCompleted{"Completed", "映像创建完成", "Success"};
const Told kCreateCancelled{"Cancelled", "Image Creation Cancelled", "Cancelled"};
const Told kCreateFailed{"Failed", "映像创建失败", "Failure"};

// Every sector of the disk differs from its neighbours and from the image.
uint8_t DiskByte(uint64_t offset) { return static_cast<uint8_t>((offset >> 9) * 29 + offset * 11 + 0x3D); }
void FillDisk(uint64_t offset, uint8_t* out, size_t length) {
  for (size_t i = 0; i < length; ++i) out[i] = DiskByte(offset + i);
}

// The disk's byte with the plan's partition table over sector 0: one entry
// (sectors 1 to tableEnd - 1) and the boot signature.
uint8_t PlanDiskByte(const Plan& p, uint64_t offset) {
  if (p.tableEnd == 0 || offset >= kSector) return DiskByte(offset);
  if (offset == 510) return 0x55;
  if (offset == 511) return 0xAA;
  if (offset == 446 + 4) return 0x83;
  if (offset >= 446 && offset < 446 + 16) {
    const uint64_t field = offset >= 446 + 12 ? p.tableEnd - 1 : offset >= 446 + 8 ? 1 : 0;
    return static_cast<uint8_t>(field >> (8 * ((offset - 446) % 4)));
  }
  return 0;
}

std::vector<uint8_t> FreshDisk(uint64_t bytes) {
  std::vector<uint8_t> disk(bytes);
  for (uint64_t i = 0; i < bytes; ++i) disk[i] = DiskByte(i);
  return disk;
}

bool Touches(uint64_t badSector, uint64_t firstByte, uint64_t bytes) {
  return badSector != kNone && bytes > 0 && badSector >= firstByte / kSector &&
         badSector <= (firstByte + bytes - 1) / kSector;
}

// Whether the cancel flag is up once `transfers` device transfers are done.
bool CancelUp(const Plan& p, uint64_t transfers) {
  return p.cancelAfter >= 0 && transfers >= static_cast<uint64_t>(p.cancelAfter);
}

// Bytes the image file gives for the read at `offset` (reads from the failing
// point on give nothing).
uint64_t ImageRead(const Plan& p, uint64_t offset) {
  if (offset >= p.imageReadFailsAt) return 0;
  return std::min(kBlock, p.imageBytes - offset);
}

// What of `read` bytes at `offset` goes to the disk: whole sectors, and the
// image's last partial sector filled up with zeros when the read reached the end.
uint64_t WrittenPart(const Plan& p, uint64_t offset, uint64_t read) {
  if (offset + read == p.imageBytes) return SectorsUp(read) * kSector;
  return read / kSector * kSector;
}

// The image as the disk receives it: its tail sector filled up with zeros.
std::vector<uint8_t> PaddedImage(const Plan& p, const std::vector<uint8_t>& image) {
  std::vector<uint8_t> padded = image;
  padded.resize(SectorsUp(p.imageBytes) * kSector, 0);
  return padded;
}

// One NT device write of `bytes` at `offset`: what reaches the disk, with the
// error; every call is a transfer.
struct NtWrite {
  uint64_t written = 0;
  DWORD error = 0;
};
NtWrite ModelNtDeviceWrite(const Plan& p, uint64_t offset, uint64_t bytes, uint64_t* transfers) {
  ++*transfers;
  const uint64_t fits = offset >= p.diskBytes ? 0 : std::min(bytes, p.diskBytes - offset);
  if (p.endFailsWhole && fits < bytes) return {0, ERROR_SECTOR_NOT_FOUND};
  if (Touches(p.badWriteSector, offset, fits)) return {0, p.badWriteError};
  return {fits, fits < bytes ? ERROR_DISK_FULL : DWORD{0}};
}

// NT write, `blocks` blocks per transfer: the image is read a transfer at a
// time (a read that fails keeps the whole blocks before the failing one), cut
// to whole sectors and written at its own position; the cancel flag is looked
// at before each transfer and after every transfer's device write. A write
// that falls short inside a block names that block in the disk-write error;
// one that fails whole (or at a block's start) is written again block by
// block to find the block that fails.
Expected ModelNtWrite(const Plan& p, const std::vector<uint8_t>& original, uint64_t blocks) {
  Expected e;
  e.disk = FreshDisk(p.diskBytes);
  if (p.openError != 0 || p.deviceMissing) {
    e.told = {kIdleStatus, "Unable to open disk for writing!", "Disk Error", MB_ICONERROR, true};
    return e;
  }
  if (CancelUp(p, 0) && (p.designator > '9' || p.volumes > 0)) {  // the volume's lock is not even asked
    e.told = kWriteCancelled;
    return e;
  }
  if (p.volumeInUse) {  // the volumes are taken before the first block: nothing is written
    const char letter = static_cast<char>('W' + p.volumes - 1);
    char text[200];
    std::snprintf(text, sizeof text,
                  "Drive %c: is in use, so Physical Disk %c cannot be written now. Close the files and windows open "
                  "on drive %c: and try again. Nothing was written.",
                  letter, p.designator, letter);
    e.told = {kIdleStatus, text, "Drive In Use", MB_ICONERROR, true};
    return e;
  }
  if (p.designator > '9' && p.lockRefused) {  // a drive letter is held like a disk's volumes
    char text[200];
    std::snprintf(text, sizeof text,
                  "Drive %c: is in use, so it cannot be written now. Close the files and windows open on drive %c: "
                  "and try again. Nothing was written.",
                  p.designator, p.designator);
    e.told = {kIdleStatus, text, "Drive In Use", MB_ICONERROR, true};
    return e;
  }
  const uint64_t total = SectorsUp(p.imageBytes);
  const std::vector<uint8_t> image = PaddedImage(p, original);
  const bool headLast = p.imageBytes > kHead;
  uint64_t counted = 0, transfers = 0;
  const char* note = "\r\nThe start of the disk was cleared so that the unfinished image does not mount; write the "
                     "image again to use the disk.";
  if (headLast && (CancelUp(p, 0) || p.imageReadFailsAt < kHead)) {  // the head cannot be read: nothing written
    e.told = CancelUp(p, 0) ? kWriteCancelled : kWriteFailed;
    return e;
  }
  const std::vector<uint8_t> zeros(kHead, 0);
  // Writes [from, to) of `source` (zeros or the image) a transfer at a time;
  // the sector named by a failure, or kNone.
  const auto writeRange = [&](const std::vector<uint8_t>& source, uint64_t from, uint64_t to, DWORD* error) {
    for (uint64_t first = from; first < to; first += blocks * kBlock) {
      const uint64_t asked = std::min(blocks * kBlock, to - first);
      NtWrite w = ModelNtDeviceWrite(p, first, asked, &transfers);
      std::copy(source.begin() + static_cast<ptrdiff_t>(first - (&source == &zeros ? first : 0)),
                source.begin() + static_cast<ptrdiff_t>(first - (&source == &zeros ? first : 0) + w.written),
                e.disk.begin() + static_cast<ptrdiff_t>(first));
      if (w.written != asked && w.written % kBlock == 0 && asked - w.written > kBlock) {
        for (uint64_t at = w.written; at < asked; at += kBlock) {
          const NtWrite one = ModelNtDeviceWrite(p, first + at, std::min(kBlock, asked - at), &transfers);
          const uint64_t base = &source == &zeros ? 0 : first + at;
          std::copy(source.begin() + static_cast<ptrdiff_t>(base), source.begin() + static_cast<ptrdiff_t>(base + one.written),
                    e.disk.begin() + static_cast<ptrdiff_t>(first + at));
          w = {at + one.written, one.error};
          if (one.written != std::min(kBlock, asked - at)) break;
        }
      }
      if (w.written != asked) {
        *error = w.error;
        return (first + w.written / kBlock * kBlock) / kSector;
      }
    }
    return kNone;
  };
  const auto diskError = [&](DWORD error, uint64_t sector, bool cleared) {
    char text[400];
    std::snprintf(text, sizeof text, "Error #%lu occured while writting to disk at sector %llu %s",
                  static_cast<unsigned long>(error), static_cast<unsigned long long>(sector), cleared ? note : "");
    e.told = {kIdleStatus, text, "Disk Error", MB_ICONERROR, false};
  };
  bool cleared = false;
  if (headLast) {
    DWORD error = 0;
    const uint64_t sector = writeRange(zeros, 0, kHead, &error);
    if (sector != kNone) {
      diskError(error, sector, false);
      return e;
    }
    cleared = true;
  }
  bool cancelled = false, stopped = false;
  for (uint64_t first = headLast ? kHead : 0;; first += blocks * kBlock) {
    if (CancelUp(p, transfers)) {
      cancelled = stopped = true;
      break;
    }
    uint64_t read = 0;
    for (uint64_t block = 0; block < blocks; ++block) {
      const uint64_t got = ImageRead(p, first + read);
      read += got;
      if (got != kBlock) break;
    }
    const uint64_t asked = WrittenPart(p, first, read);
    DWORD error = 0;
    const uint64_t before = transfers;
    const uint64_t sector = writeRange(image, first, first + asked, &error);
    if (asked == 0) ++transfers;  // the call for no sectors at the end
    // The cancel flag is looked at right after the transfer's first device write.
    if (CancelUp(p, before + 1)) {
      cancelled = stopped = true;  // on the disk, but not counted
      break;
    }
    if (sector != kNone) {
      diskError(error, sector, cleared);
      return e;
    }
    counted += asked / kSector;
    if (read != blocks * kBlock) {
      stopped = first + read < p.imageBytes;  // a read that failed
      break;
    }
  }
  if (headLast && !stopped) {
    for (uint64_t first = 0; first < kHead; first += blocks * kBlock) {
      if (CancelUp(p, transfers)) {
        cancelled = true;
        break;
      }
      DWORD error = 0;
      const uint64_t before = transfers;
      const uint64_t sector = writeRange(image, first, first + blocks * kBlock, &error);
      if (CancelUp(p, before + 1)) {
        cancelled = true;
        break;
      }
      if (sector != kNone) {
        DWORD again = 0;
        diskError(error, sector, writeRange(zeros, 0, kHead, &again) == kNone);
        return e;
      }
      counted += blocks * kBlock / kSector;
    }
    if (counted < total) {
      DWORD again = 0;
      cleared = writeRange(zeros, 0, kHead, &again) == kNone;
    }
  }
  e.told = counted >= total ? kWriteCompleted : cancelled ? kWriteCancelled : kWriteFailed;
  if (counted < total && cleared) e.told.text += note;
  return e;
}

// The last sector index an NT device reports: the partition length in whole
// sectors, rounded down to an even count, less one.
uint64_t NtLastSectorIndex(const Plan& p) {
  if (!p.hasPartition) return 0;
  const uint32_t even = static_cast<uint32_t>(p.partitionBytes / kSector) & ~uint32_t{1};
  return even == 0 ? 0 : even - 1;
}

// One NT device read of `count` sectors from `sector`: the bytes it gives,
// whether it failed; every call is a transfer.
struct NtRead {
  uint64_t bytes = 0;
  bool failed = false;
};
NtRead ModelNtDeviceRead(const Plan& p, uint64_t sector, uint64_t count, uint64_t* transfers) {
  ++*transfers;
  const uint64_t sectors = p.diskBytes / kSector;
  if (p.notReady || (p.endFailsWhole && sector + count > sectors)) return {0, true};
  const uint64_t avail = sector >= sectors ? 0 : std::min(count, sectors - sector);
  if (Touches(p.badReadSector, sector * kSector, avail * kSector)) return {0, true};
  return {avail * kSector, false};
}

// One read of `count` sectors from `first` as the disk device makes it: a read
// that fails whole is read again up to the end the device vouches for (`end`),
// and past it (or without it) sector by sector up to the first that fails.
NtRead ModelNtReadSectors(const Plan& p, uint64_t first, uint64_t count, uint64_t end, uint64_t* transfers) {
  NtRead read = ModelNtDeviceRead(p, first, count, transfers);
  if (!read.failed || (end != 0 && first < end && first + count <= end)) return read;
  uint64_t done = 0;
  if (end != 0 && first < end) {
    if (ModelNtDeviceRead(p, first, end - first, transfers).failed) return read;
    done = end - first;
  }
  for (; done < count; ++done) {
    const NtRead one = ModelNtDeviceRead(p, first + done, 1, transfers);
    if (one.failed || one.bytes != kSector) return {done * kSector + one.bytes, one.failed};
  }
  return {done * kSector, false};
}

// NT create, `blocks` blocks per transfer: transfers are read from the device
// until one comes back short; the flag is looked at before each read and
// between a read and its image write. A transfer of several blocks that fails
// is read again block by block, each as a one-block read, up to the first
// block that comes back short.
Expected ModelNtCreate(const Plan& p, uint64_t blocks) {
  Expected e;
  const uint64_t window = kBlock / kSector;
  if (p.openError != 0 || p.deviceMissing) {
    e.told = {kIdleStatus, "Unable to open disk for reading!", "Disk Error", MB_ICONERROR, true};
    return e;
  }
  uint64_t total = p.answersLength ? p.diskBytes / kSector : NtLastSectorIndex(p);
  const uint64_t end = p.answersLength ? total : total == 0 ? 0 : total + 1;
  uint64_t counted = 0, transfers = 0;
  // A trimmed create reads sector 0 first; its one partition must lie within
  // the sectors the device vouches for.
  uint64_t limit = 0;
  if (p.trim && ModelNtReadSectors(p, 0, 1, end, &transfers).bytes == kSector && p.tableEnd != 0 &&
      (end == 0 || p.tableEnd <= end)) {
    limit = total = p.tableEnd;
  }
  bool cancelled = false, imageFull = false, readFailed = false, uncopied = false;
  for (;;) {
    if (CancelUp(p, transfers)) {
      cancelled = true;
      break;
    }
    const uint64_t first = counted;
    if (limit != 0 && first == limit) break;
    const uint64_t want = limit != 0 ? std::min(blocks * window, limit - first) : blocks * window;
    NtRead read;
    if (want <= window) {
      read = ModelNtReadSectors(p, first, want, end, &transfers);
    } else {
      read = ModelNtDeviceRead(p, first, want, &transfers);
      if (read.failed) {
        read = {};
        for (uint64_t done = 0; done < want; done += window) {
          const uint64_t count = std::min(window, want - done);
          const NtRead one = ModelNtReadSectors(p, first + done, count, end, &transfers);
          read = {read.bytes + one.bytes, one.failed};
          if (one.bytes != count * kSector) break;
        }
      }
    }
    readFailed = read.failed;
    if (CancelUp(p, transfers)) {
      cancelled = true;  // read, but neither written nor counted
      uncopied = read.bytes > 0;
      break;
    }
    const uint64_t room = p.imageLimit == kNone ? kNone : p.imageLimit - e.image.size();
    const uint64_t kept = std::min(read.bytes, room);
    for (uint64_t i = 0; i < kept; ++i) e.image.push_back(PlanDiskByte(p, first * kSector + i));
    if (kept < read.bytes) {
      imageFull = true;
      break;
    }
    counted += read.bytes / kSector;
    // Short, or the last transfer of a trimmed image.
    if (read.bytes != want * kSector || want != blocks * window) break;
  }
  if (imageFull) e.told = kCreateFailed;
  else if (total == 0) e.told = cancelled ? kCreateCancelled : readFailed ? kCreateFailed : kCreateCompleted;
  else if (counted >= total && !(cancelled && uncopied)) e.told = kCreateCompleted;
  else if (cancelled) e.told = kCreateCancelled;
  else e.told = readFailed ? kCreateFailed : kCreateCompleted;
  // Without a table, or with a disk that ended before it, the whole disk was the copy's extent.
  const bool completed = e.told.word == kCreateCompleted.word;
  if (p.trim && (limit == 0 || (completed && counted < limit))) {
    e.told.text += completed ? "\r\nNo partition table was trusted, so the whole disk was copied."
                             : "\r\nNo partition table was trusted, so the whole disk was being copied.";
  }
  return e;
}

// Legacy write: the flag is looked at before each block; every block goes to
// the driver as one request, which a bad sector or the end of the medium
// refuses whole (a request for no sectors moves nothing and fails nothing).
Expected ModelLegacyWrite(const Plan& p, const std::vector<uint8_t>& original) {
  Expected e;
  e.disk = FreshDisk(p.diskBytes);
  const uint64_t total = SectorsUp(p.imageBytes);
  const std::vector<uint8_t> image = PaddedImage(p, original);
  uint64_t counted = 0;
  bool cancelled = false;
  for (uint64_t block = 0;; ++block) {
    if (CancelUp(p, block)) {
      cancelled = true;
      break;
    }
    const uint64_t offset = block * kBlock;
    const uint64_t read = ImageRead(p, offset);
    const uint64_t bytes = WrittenPart(p, offset, read);
    if (bytes > 0 && (offset + bytes > p.diskBytes || Touches(p.badWriteSector, offset, bytes))) {
      e.told = kWriteFailed;
      return e;
    }
    std::copy(image.begin() + static_cast<ptrdiff_t>(offset), image.begin() + static_cast<ptrdiff_t>(offset + bytes),
              e.disk.begin() + static_cast<ptrdiff_t>(offset));
    counted += bytes / kSector;
    if (read != kBlock) {
      // The last block's write call (made even with nothing to write) may
      // have seen the press; the outcome reads the flag after it.
      cancelled = CancelUp(p, block + 1);
      break;
    }
  }
  e.told = counted >= total ? kWriteCompleted : cancelled ? kWriteCancelled : kWriteFailed;
  return e;
}

// Legacy create: windows of 128 sectors over every sector of the drive, the
// last one cut to what is left; an unreadable window or a drive without a size
// ends the job "Failed", and nothing after a gap is written.
Expected ModelLegacyCreate(const Plan& p) {
  Expected e;
  const uint64_t sectors = p.diskBytes / kSector;
  // The drive reports its size in the 16-bit total up to 65,532 sectors and in
  // the 32-bit one beyond 65,535; a total of 0 or 1 there means no size.
  const bool sized = !p.legacyNoSize && ((sectors >= 2 && sectors <= 0xFFFC) || sectors > 0xFFFF);
  if (!sized) {
    // Nothing can be read without a size; a cancel before the job still reads as one.
    e.told = CancelUp(p, 0) ? kCreateCancelled : kCreateFailed;
    return e;
  }
  const uint64_t window = kBlock / kSector;
  uint64_t position = 0, transfers = 0;
  while (position < sectors) {
    const uint64_t count = std::min(window, sectors - position);
    if (CancelUp(p, ++transfers)) {
      e.told = kCreateCancelled;  // the window read is not copied, so sectors remain
      return e;
    }
    if (Touches(p.badReadSector, position * kSector, count * kSector)) {
      e.told = kCreateFailed;
      return e;
    }
    const uint64_t read = count * kSector;
    const uint64_t room = p.imageLimit == kNone ? kNone : p.imageLimit - e.image.size();
    const uint64_t kept = std::min(read, room);
    for (uint64_t i = 0; i < kept; ++i) e.image.push_back(DiskByte(position * kSector + i));
    if (kept < read) {
      e.told = kCreateFailed;
      return e;
    }
    position += count;
  }
  e.told = kCreateCompleted;
  return e;
}

// What the rules leave after the plan's job with `blocks` blocks per NT transfer.
Expected Model(const Plan& p, const std::vector<uint8_t>& image, uint64_t blocks) {
  // A zip of an empty file holds no image: refused before the disk is opened.
  if (p.mode == kWriteImageToDisk && std::string(p.compressed) == ".zip" && p.imageBytes == 0) {
    Expected e;
    e.disk = FreshDisk(p.diskBytes);
    e.told = {"Failed",
              std::string(kImageUnsupportedReason) +
                  "\r\nIt stops at byte 0 of the image; nothing was written to the disk.",
              "Failure", MB_OK | MB_ICONERROR};
    return e;
  }
  if (p.mode == kWriteImageToDisk) return p.legacy ? ModelLegacyWrite(p, image) : ModelNtWrite(p, image, blocks);
  return p.legacy ? ModelLegacyCreate(p) : ModelNtCreate(p, blocks);
}

// A job cancelled at a transfer's edge `p.cancelAt`: a write leaves the image
// up to it on the disk, a create the disk up to it in the image.
Expected CancelledAt(const Plan& p, const std::vector<uint8_t>& image) {
  Expected e;
  if (p.mode == kWriteImageToDisk) {
    e.disk = FreshDisk(p.diskBytes);
    e.told = kWriteCancelled;
    if (p.imageBytes > kHead) {  // the head cleared first, the body from 1 MiB
      std::fill(e.disk.begin(), e.disk.begin() + static_cast<ptrdiff_t>(kHead), 0);
      if (p.cancelAt > kHead) {
        std::copy(image.begin() + static_cast<ptrdiff_t>(kHead), image.begin() + static_cast<ptrdiff_t>(p.cancelAt),
                  e.disk.begin() + static_cast<ptrdiff_t>(kHead));
      }
      e.told.text += "\r\nThe start of the disk was cleared so that the unfinished image does not mount; write the "
                     "image again to use the disk.";
    } else {
      std::copy(image.begin(), image.begin() + static_cast<ptrdiff_t>(p.cancelAt), e.disk.begin());
    }
  } else {
    for (uint64_t i = 0; i < p.cancelAt; ++i) e.image.push_back(DiskByte(i));
    e.told = kCreateCancelled;
  }
  return e;
}

// The path the NT family opens for a designator: digits name physical disks.
std::string NtDevicePath(char designator) {
  if (designator >= '0' && designator <= '9') return std::string("\\\\.\\PHYSICALDRIVE") + designator;
  return std::string("\\\\.\\") + designator + ":";
}

// The drive number the legacy family uses: A = 1 .. Z = 26; a typed digit 0..9 is 3..12.
uint8_t LegacyDrive(char designator) {
  if (designator >= '0' && designator <= '9') return static_cast<uint8_t>(designator - '0' + 3);
  return static_cast<uint8_t>(designator - 'A' + 1);
}

bool HasNonAscii(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

class Soak : public JobTest {
 protected:
  void TearDown() override {
    CloseDriver();
    vw::SetRequestHook(nullptr);
    jobState.platformClass = kPlatformNt;
    JobTest::TearDown();
  }

  static void CloseDriver() {
    if (vwin32Handle != INVALID_HANDLE_VALUE) CloseHandle(vwin32Handle);
    vwin32Handle = INVALID_HANDLE_VALUE;
  }

  // A fresh simulated system with the plan's disk, and the job's inputs as
  // Start leaves them. False when the job could not be prepared.
  bool Prepare(const Plan& p, const std::vector<uint8_t>& image) {
    CloseDriver();
    sim::Reset();
    ResetJobState();
    std::snprintf(statusBuffer_, sizeof statusBuffer_, "%s", kIdleStatus);
    mainWindow = sim::MakeWindow("main");
    toolTipWindow = sim::MakeWindow("tool tip");
    transfers_ = 0;

    if (p.legacy) {
      jobState.platformClass = kPlatformLegacy;
      vw::DriveSpec setup = vw::Medium(static_cast<uint32_t>(p.diskBytes / kSector));
      if (p.legacyNoSize) setup.total16 = setup.total32 = 0;
      setup.pattern = DiskByte;
      if (p.badReadSector != kNone) setup.badSectors = {static_cast<uint32_t>(p.badReadSector)};
      if (p.badWriteSector != kNone) setup.badWriteSectors = {static_cast<uint32_t>(p.badWriteSector)};
      setup.refuseLock48 = setup.refuseLock08 = p.lockRefused;
      vw::AddDrive(LegacyDrive(p.designator), setup);
      sim::SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, p.legacyBuild);
      OpenVwin32();
      if (vwin32Handle == INVALID_HANDLE_VALUE) return false;
      vw::SetRequestHook([this, p](const vw::Request& r) {
        // Transfers only: Int 25h, Int 26h and Int 21h 7305h.
        if (r.code == 2 || r.code == 3 || r.code == 6) {
          if (++transfers_ == static_cast<uint64_t>(p.cancelAfter)) jobState.cancelRequested.store(1);
        }
      });
    } else {
      jobState.platformClass = kPlatformNt;
      if (!p.deviceMissing) {
        sim::DeviceSpec setup;
        setup.sizeBytes = p.diskBytes;
        setup.fill = FillDisk;
        if (p.tableEnd != 0) {
          setup.fill = [p](uint64_t offset, uint8_t* out, size_t length) {
            for (size_t i = 0; i < length; ++i) out[i] = PlanDiskByte(p, offset + i);
          };
        }
        setup.openError = p.openError;
        setup.lockGranted = !p.lockRefused;
        if (p.badReadSector != kNone) setup.badReadSectors[p.badReadSector] = p.badReadError;
        if (p.badWriteSector != kNone) setup.badWriteSectors[p.badWriteSector] = p.badWriteError;
        if (p.notReady) setup.readErrorAll = ERROR_NOT_READY;
        setup.hasPartition = p.hasPartition;
        setup.partitionLength = p.partitionBytes;
        setup.answersLength = p.answersLength;
        if (p.endFailsWhole) setup.crossEndError = ERROR_SECTOR_NOT_FOUND;
        sim::AddDevice(NtDevicePath(p.designator), setup);
      }
      // Volumes share the disk evenly; writes under one that is still mounted fail.
      for (uint32_t i = 0; i < p.volumes; ++i) {
        const char letter = static_cast<char>('W' + i);
        sim::DeviceSpec volume;
        volume.sizeBytes = p.diskBytes / p.volumes;
        volume.lockGranted = !(p.volumeInUse && i + 1 == p.volumes);
        sim::AddDevice(NtDevicePath(letter), volume);
        sim::AddVolume(letter, {p.designator - '0', i * volume.sizeBytes, volume.sizeBytes, ""});
      }
      sim::SetDeviceTransferHook([this, p](const std::string&, uint64_t offset, DWORD bytes, bool write) {
        if (++transfers_ == static_cast<uint64_t>(p.cancelAfter)) jobState.cancelRequested.store(1);
        if (p.cancelAt != kNone && (write ? offset + bytes >= p.cancelAt : offset + bytes > p.cancelAt)) {
          jobState.cancelRequested.store(1);
        }
      });
    }

    bool prepared;
    UseImageName(std::string("image.img") + p.compressed, p.mode);
    if (p.mode == kWriteImageToDisk) {
      if (p.imageReadFailsAt != kNone) sim::SetFileReadError(imagePath_, p.imageReadFailsAt, ERROR_READ_FAULT);
      prepared = PrepareWrite(p.designator, *p.compressed == '\0' ? image : CompressedBytes(image, p.compressed));
    } else {
      if (p.imageLimit != kNone) sim::SetFileSizeLimit(imagePath_, p.imageLimit);
      prepared = PrepareCreate(p.designator);
    }
    if (p.cancelAfter == 0) jobState.cancelRequested.store(1);
    jobState.trimToPartitions.store(p.trim ? 1 : 0);
    return prepared;
  }

  // The worker on a thread of its own, as Start runs it.
  static void RunWorker() {
    std::thread worker([] { ImagingWorker(nullptr); });
    worker.join();
  }

  void CheckTold(const Told& want) {
    std::vector<sim::Event> boxes = EventsOfKind("MessageBox");
    ASSERT_EQ(boxes.size(), 1u) << "one message box per job";
    const sim::Event& box = boxes[0];
    EXPECT_EQ(box.text, want.text);
    EXPECT_EQ(box.caption, want.caption);
    EXPECT_EQ(box.style, want.style);
    EXPECT_EQ(box.window, want.owned ? mainWindow : nullptr);
    if (HasNonAscii(box.text)) {
      EXPECT_TRUE(box.wide) << "Chinese text through an ANSI call";
    }
    EXPECT_EQ(StatusText(), want.word);
  }

  // Nothing open, allocated or locked; the record idle; the button back.
  void CheckLeftNothing(const Plan& p) {
    EXPECT_EQ(jobState.busy.load(), 0);
    EXPECT_EQ(jobState.cancelRequested.load(), 0);
    EXPECT_EQ(jobState.buffer, nullptr);
    EXPECT_EQ(jobState.imageFile, INVALID_HANDLE_VALUE);
    EXPECT_EQ(sim::OpenHandleCount(), p.legacy ? 1 : 0) << "only the legacy driver outlives a job";
    EXPECT_EQ(sim::LiveVirtualAllocs(), 0);
    EXPECT_EQ(sim::LiveHeapAllocs(), 0);
    EXPECT_EQ(sim::UnalignedTransfers(), 0);
    if (p.legacy) {
      const vw::DriveStats stats = vw::Drive(LegacyDrive(p.designator));
      EXPECT_EQ(stats.locksHeld, 0);
      EXPECT_EQ(stats.locksGranted, stats.unlocksGranted);
      EXPECT_EQ(vw::UnresolvedAddresses(), 0);
    } else if (!p.deviceMissing) {
      const sim::DeviceStats stats = sim::Device(NtDevicePath(p.designator));
      EXPECT_EQ(stats.locksHeld, 0);
      EXPECT_LE(stats.unlockRequests, stats.lockRequests) << "only a granted lock is let go";
    }
    for (uint32_t i = 0; i < p.volumes; ++i) {
      EXPECT_TRUE(sim::VolumeMounted(static_cast<char>('W' + i))) << "a volume of the disk is still held";
    }
    std::string button;
    for (const sim::Event& e : sim::Events()) {
      if (e.kind == "SetDlgItemText" && e.controlId == IDC_START) button = e.text;
    }
    EXPECT_EQ(button, "Start");
  }

  void RunAndCheck(const Plan& p) {
    const std::vector<uint8_t> image = ImageBytes(p.imageBytes);
    RunAndCheck(p, image, Model(p, image, transferBytes_ / kBlock));
  }

  // Runs the job with the fixture's transfer size; it must leave `want`.
  void RunAndCheck(const Plan& p, const std::vector<uint8_t>& image, const Expected& want) {
    ASSERT_TRUE(Prepare(p, image)) << "the job could not be set up";
    RunWorker();

    CheckTold(want.told);
    if (p.mode == kWriteImageToDisk) {
      const std::vector<uint8_t> disk =
          p.legacy ? vw::DriveBytes(LegacyDrive(p.designator), 0, static_cast<uint32_t>(p.diskBytes / kSector))
          : p.deviceMissing ? want.disk
                            : sim::DeviceBytes(NtDevicePath(p.designator), 0, p.diskBytes);
      ASSERT_EQ(disk.size(), want.disk.size());
      EXPECT_TRUE(disk == want.disk) << "first wrong byte at "
                                     << (std::mismatch(disk.begin(), disk.end(), want.disk.begin()).first -
                                         disk.begin());
    } else {
      // A job that never read the disk leaves the image file empty, compressed or not.
      const bool decompress = *p.compressed != '\0' && !ReadHostFile(imagePath_).empty();
      if (decompress) {
        const std::string tool = std::string(p.compressed) == ".gz" ? "gzip -dc " : "zstd -q -dc ";
        ASSERT_TRUE(RunTool(tool + Quoted(imagePath_) + " >" + Quoted(imagePath_ + ".out")));
      }
      const std::vector<uint8_t> got = ReadHostFile(imagePath_ + (decompress ? ".out" : ""));
      ASSERT_EQ(got.size(), want.image.size()) << "image length";
      EXPECT_TRUE(got == want.image) << "first wrong byte at "
                                     << (std::mismatch(got.begin(), got.end(), want.image.begin()).first -
                                         got.begin());
    }
    CheckLeftNothing(p);
  }

  uint64_t transfers_ = 0;  // device transfers of the running job; the worker thread counts them
};

TEST_F(Soak, ManyJobsWithFaultsAndCancelsEndAsTheRulesSay) {
  const uint64_t seed = EnvNumber("TAVRIN_SOAK_SEED", kDefaultSeed);
  const uint64_t jobs = EnvNumber("TAVRIN_SOAK_JOBS", kDefaultJobs);
  const uint64_t first = EnvNumber("TAVRIN_SOAK_FIRST", 0);
  std::printf("soak: %llu jobs from job %llu, TAVRIN_SOAK_SEED=%llu\n", static_cast<unsigned long long>(jobs),
              static_cast<unsigned long long>(first), static_cast<unsigned long long>(seed));
  uint64_t outcomes[4] = {0, 0, 0, 0};  // completed, cancelled, failed, error box
  uint64_t trimmed = 0;                  // creates with the trim box checked and a table on the disk
  for (uint64_t job = first; job < first + jobs; ++job) {
    Random r{seed * 0x100000001B3ULL + job};
    const Plan plan = DrawPlan(r);
    std::ostringstream where;
    where << "replay: TAVRIN_SOAK_SEED=" << seed << " TAVRIN_SOAK_FIRST=" << job << " TAVRIN_SOAK_JOBS=1; job "
          << job << ": " << plan.Describe();
    SCOPED_TRACE(where.str());
    RunAndCheck(plan);
    if (HasFailure()) break;  // the first broken job says it all
    const std::string word = StatusText();
    outcomes[word == "Completed" ? 0 : word == "Cancelled" ? 1 : word == "Failed" ? 2 : 3]++;
    if (plan.trim && plan.tableEnd != 0) ++trimmed;
  }
  std::printf("soak: %llu completed, %llu cancelled, %llu failed, %llu disk errors; %llu trimmed creates\n",
              static_cast<unsigned long long>(outcomes[0]), static_cast<unsigned long long>(outcomes[1]),
              static_cast<unsigned long long>(outcomes[2]), static_cast<unsigned long long>(outcomes[3]),
              static_cast<unsigned long long>(trimmed));
}

// The same scripted jobs, run with one block per transfer (the loop as it was)
// and with the NT transfer size, must both leave what the block-by-block rules
// give: the same box and sector number, the same disk and image bytes. Faults
// sit at the edges of blocks and of transfers; cancels at transfers' edges.
TEST_F(Soak, LargeTransfersLeaveWhatBlockByBlockTransfersLeft) {
  const uint64_t transferSectors = kNtBlocks * kBlock / kSector;
  const uint64_t imageBytes = 2 * kNtBlocks * kBlock + 5 * kBlock + 40 * kSector + 300;
  const uint64_t imageSectors = imageBytes / kSector;
  std::vector<uint64_t> edges = {0, 1, 127, 128, 129, imageSectors - 1};
  for (uint64_t t = 1; t <= 2; ++t) {
    for (uint64_t at : {t * transferSectors - 129, t * transferSectors - 128, t * transferSectors - 1,
                        t * transferSectors, t * transferSectors + 1, t * transferSectors + 128}) {
      edges.push_back(at);
    }
  }
  Plan write;
  write.imageBytes = imageBytes;
  write.diskBytes = (imageSectors + 64) * kSector;
  Plan create;
  create.mode = kCreateImageFromDisk;
  create.diskBytes = imageSectors * kSector;
  create.partitionBytes = create.diskBytes;
  std::vector<Plan> plans;
  for (size_t i = 0; i < edges.size(); ++i) {
    Plan p = write;
    p.badWriteSector = edges[i];
    plans.push_back(p);
    if (edges[i] > 0) {
      p = write;  // the image does not fit: the disk ends at the edge
      p.diskBytes = edges[i] * kSector;
      p.endFailsWhole = i % 2 == 0;
      plans.push_back(p);
      p.endFailsWhole = !p.endFailsWhole;
      plans.push_back(p);
      p = create;  // a disk that ends there, with or without its size
      p.diskBytes = p.partitionBytes = edges[i] * kSector;
      p.endFailsWhole = i % 2 == 0;
      p.answersLength = i % 3 == 0;
      p.hasPartition = i % 3 != 1;
      plans.push_back(p);
    }
    p = create;
    p.badReadSector = edges[i];
    p.answersLength = i % 2 == 0;
    p.hasPartition = i % 3 != 1;
    plans.push_back(p);
  }
  for (uint64_t block : {0, 1, 15, 16, 17, 32, 36}) {
    Plan p = write;
    p.imageReadFailsAt = block * kBlock;
    plans.push_back(p);
  }
  for (uint64_t limit : {kNtBlocks * kBlock - 1, kNtBlocks * kBlock, 2 * kNtBlocks * kBlock + 100}) {
    Plan p = create;
    p.imageLimit = limit;
    plans.push_back(p);
  }
  Plan notReady = create;
  notReady.notReady = true;
  plans.push_back(notReady);
  for (uint64_t t = 1; t <= 2; ++t) {
    for (Plan p : {write, create}) {
      p.cancelAt = t * kNtBlocks * kBlock;
      plans.push_back(p);
    }
  }
  // A write's image comes from the reader thread ahead of the disk: decoded
  // images meet the same edges, and so does the legacy family, whose blocks
  // go one by one to the sector services while the image is read ahead.
  const char* const decoded[] = {".xz", ".zst", ".gz"};
  const size_t plainPlans = plans.size();
  for (size_t i = 0; i < plainPlans; ++i) {
    Plan p = plans[i];
    if (p.mode != kWriteImageToDisk || p.imageReadFailsAt != kNone) continue;
    p.compressed = decoded[i % 3];
    plans.push_back(p);
    if (p.cancelAt != kNone || i % 2 != 0) continue;
    p.compressed = "";
    p.legacy = true;
    p.designator = 'C';
    p.endFailsWhole = false;
    plans.push_back(p);
  }
  for (int64_t after : {1, 2, 17}) {
    Plan p = write;
    p.legacy = true;
    p.designator = 'D';
    p.cancelAfter = after;
    plans.push_back(p);
  }

  const std::vector<uint8_t> writeImage = ImageBytes(imageBytes), none;
  // A shortened soak (the sanitizer builds) runs every third job here too.
  const size_t stride = EnvNumber("TAVRIN_SOAK_JOBS", kDefaultJobs) < kDefaultJobs ? 3 : 1;
  for (size_t i = 0; i < plans.size(); i += stride) {
    const Plan& p = plans[i];
    SCOPED_TRACE(p.Describe());
    const std::vector<uint8_t>& image = p.mode == kWriteImageToDisk ? writeImage : none;
    const Expected want = p.cancelAt == kNone ? Model(p, image, 1) : CancelledAt(p, image);
    for (uint32_t bytes : {kBlockBytes, kTransferBytes}) {
      SCOPED_TRACE(bytes == kBlockBytes ? "one block per transfer" : "large transfers");
      transferBytes_ = bytes;
      RunAndCheck(p, image, want);
      if (HasFailure()) return;  // the first broken job says it all
    }
  }
}

}  // namespace
