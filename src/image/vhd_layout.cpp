// The VHD footer and dynamic header: each field where the format puts it, each
// check a row of a table; see vhd_layout.h.
#include "image/vhd_layout.h"

#include <cstring>

namespace {

uint32_t Be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
uint64_t Be64(const uint8_t* p) { return (static_cast<uint64_t>(Be32(p)) << 32) | Be32(p + 4); }
void PutBe32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}
void PutBe64(uint8_t* p, uint64_t value) {
  PutBe32(p, static_cast<uint32_t>(value >> 32));
  PutBe32(p + 4, static_cast<uint32_t>(value));
}

// Byte offsets of the fields read or written.
enum FooterField : uint32_t {
  kFooterCookie = 0, kFooterFeatures = 8, kFooterVersion = 12, kFooterDataOffset = 16, kFooterTimestamp = 24,
  kFooterCreatorApp = 28, kFooterCreatorVersion = 32, kFooterCreatorHost = 36, kFooterOriginalSize = 40,
  kFooterCurrentSize = 48, kFooterGeometry = 56, kFooterDiskType = 60, kFooterChecksum = 64, kFooterUniqueId = 68,
};
enum HeaderField : uint32_t {
  kHeaderCookie = 0, kHeaderDataOffset = 8, kHeaderTableOffset = 16, kHeaderVersion = 24, kHeaderEntries = 28,
  kHeaderBlockSize = 32, kHeaderChecksum = 36,
};

const char kFooterCookieText[] = "conectix";
const char kHeaderCookieText[] = "cxsparse";
constexpr uint32_t kVersion1 = 0x00010000;  // major 1, minor 0: the only version there is
constexpr uint32_t kFeatureReserved = 2;    // always set
constexpr uint64_t kNoDataOffset = ~0ull;

// The one's complement of the byte sum, the checksum field counted as zeros.
uint32_t ChecksumOf(const uint8_t* bytes, uint32_t count, uint32_t checksumAt) {
  uint32_t sum = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (i < checksumAt || i >= checksumAt + 4) sum += bytes[i];
  }
  return ~sum;
}

// A row: the check and what a record that fails it is.
struct Rule {
  bool (*holds)(const uint8_t* bytes);
  CodecError error;
};

bool FooterChecksumHolds(const uint8_t* b) {
  return Be32(b + kFooterChecksum) == ChecksumOf(b, kVhdFooterBytes, kFooterChecksum);
}
bool FooterVersionHolds(const uint8_t* b) { return Be32(b + kFooterVersion) >> 16 == kVersion1 >> 16; }
bool NotDifferencing(const uint8_t* b) {
  return Be32(b + kFooterDiskType) != static_cast<uint32_t>(VhdDiskType::Differencing);
}
bool KnownDiskType(const uint8_t* b) {
  const uint32_t type = Be32(b + kFooterDiskType);
  return type == static_cast<uint32_t>(VhdDiskType::Fixed) || type == static_cast<uint32_t>(VhdDiskType::Dynamic);
}
bool DynamicHasHeader(const uint8_t* b) {
  return Be32(b + kFooterDiskType) != static_cast<uint32_t>(VhdDiskType::Dynamic) ||
         Be64(b + kFooterDataOffset) != kNoDataOffset;
}

// In order: a record that fails several is named by the first.
const Rule kFooterRules[] = {
    {FooterChecksumHolds, CodecError::Damaged},
    {FooterVersionHolds, CodecError::Damaged},
    {NotDifferencing, CodecError::Unsupported},
    {KnownDiskType, CodecError::Damaged},
    {DynamicHasHeader, CodecError::Damaged},
};

bool HeaderCookieHolds(const uint8_t* b) { return std::memcmp(b + kHeaderCookie, kHeaderCookieText, 8) == 0; }
bool HeaderChecksumHolds(const uint8_t* b) {
  return Be32(b + kHeaderChecksum) == ChecksumOf(b, kVhdHeaderBytes, kHeaderChecksum);
}
bool HeaderVersionHolds(const uint8_t* b) { return Be32(b + kHeaderVersion) == kVersion1; }
bool BlockSizeHolds(const uint8_t* b) {
  const uint32_t size = Be32(b + kHeaderBlockSize);
  // Powers of two from one sector to 256 MiB; every writer uses 2 MiB or less.
  return size >= kVhdSectorBytes && size <= (256u << 20) && (size & (size - 1)) == 0;
}

const Rule kHeaderRules[] = {
    {HeaderCookieHolds, CodecError::Damaged},
    {HeaderChecksumHolds, CodecError::Damaged},
    {HeaderVersionHolds, CodecError::Damaged},
    {BlockSizeHolds, CodecError::Damaged},
};

template <size_t N>
CodecError FirstBroken(const Rule (&rules)[N], const uint8_t* bytes) {
  for (const Rule& rule : rules) {
    if (!rule.holds(bytes)) return rule.error;
  }
  return CodecError::None;
}

}  // namespace

bool HasVhdCookie(const uint8_t* bytes, uint32_t count) {
  return count >= 8 && std::memcmp(bytes, kFooterCookieText, 8) == 0;
}

CodecError ParseVhdFooter(const uint8_t* bytes, VhdFooter* footer) {
  if (!HasVhdCookie(bytes, kVhdFooterBytes)) return CodecError::WrongContent;
  const CodecError error = FirstBroken(kFooterRules, bytes);
  if (error != CodecError::None) return error;
  footer->dataOffset = Be64(bytes + kFooterDataOffset);
  footer->currentSize = Be64(bytes + kFooterCurrentSize);
  footer->diskType = Be32(bytes + kFooterDiskType);
  return CodecError::None;
}

CodecError ParseVhdHeader(const uint8_t* bytes, uint64_t diskBytes, VhdHeader* header) {
  const CodecError error = FirstBroken(kHeaderRules, bytes);
  if (error != CodecError::None) return error;
  header->tableOffset = Be64(bytes + kHeaderTableOffset);
  header->tableEntries = Be32(bytes + kHeaderEntries);
  header->blockBytes = Be32(bytes + kHeaderBlockSize);
  const uint64_t blocksNeeded = (diskBytes + header->blockBytes - 1) / header->blockBytes;
  if (blocksNeeded > header->tableEntries) return CodecError::Damaged;  // a disk larger than its table
  if (blocksNeeded * 4 > kVhdTableLimitBytes) return CodecError::MemoryBound;
  return CodecError::None;
}

uint32_t VhdGeometryOf(uint64_t diskBytes) {
  // The format's own table: 17, 31 or 63 sectors a track, at least 4 heads.
  const uint64_t maxSectors = 65535ull * 16 * 255;
  uint64_t total = diskBytes / kVhdSectorBytes;
  if (total > maxSectors) total = maxSectors;
  uint64_t sectors = 0;
  uint64_t heads = 0;
  uint64_t cylinderTimesHeads = 0;
  if (total >= 65535ull * 16 * 63) {
    sectors = 255;
    heads = 16;
    cylinderTimesHeads = total / sectors;
  } else {
    sectors = 17;
    cylinderTimesHeads = total / sectors;
    heads = (cylinderTimesHeads + 1023) / 1024;
    if (heads < 4) heads = 4;
    if (cylinderTimesHeads >= heads * 1024 || heads > 16) {
      sectors = 31;
      heads = 16;
      cylinderTimesHeads = total / sectors;
    }
    if (cylinderTimesHeads >= heads * 1024) {
      sectors = 63;
      heads = 16;
      cylinderTimesHeads = total / sectors;
    }
  }
  uint64_t cylinders = cylinderTimesHeads / heads;
  // Readers that size a disk by its geometry would cut off what it does not
  // cover; the largest geometry tells them to take the stated size instead.
  if (cylinders * heads * sectors * kVhdSectorBytes != diskBytes) {
    cylinders = 65535;
    heads = 16;
    sectors = 255;
  }
  return static_cast<uint32_t>(cylinders << 16 | heads << 8 | sectors);
}

void BuildFixedVhdFooter(uint8_t* bytes, uint64_t diskBytes, uint32_t timestamp, const uint8_t* uniqueId) {
  std::memset(bytes, 0, kVhdFooterBytes);
  std::memcpy(bytes + kFooterCookie, kFooterCookieText, 8);
  PutBe32(bytes + kFooterFeatures, kFeatureReserved);
  PutBe32(bytes + kFooterVersion, kVersion1);
  PutBe64(bytes + kFooterDataOffset, kNoDataOffset);
  PutBe32(bytes + kFooterTimestamp, timestamp);
  std::memcpy(bytes + kFooterCreatorApp, "tavr", 4);
  PutBe32(bytes + kFooterCreatorVersion, 0x00010006);  // 1.6
  std::memcpy(bytes + kFooterCreatorHost, "Wi2k", 4);  // the value the format gives Windows
  PutBe64(bytes + kFooterOriginalSize, diskBytes);
  PutBe64(bytes + kFooterCurrentSize, diskBytes);
  PutBe32(bytes + kFooterGeometry, VhdGeometryOf(diskBytes));
  PutBe32(bytes + kFooterDiskType, static_cast<uint32_t>(VhdDiskType::Fixed));
  std::memcpy(bytes + kFooterUniqueId, uniqueId, 16);
  PutBe32(bytes + kFooterChecksum, ChecksumOf(bytes, kVhdFooterBytes, kFooterChecksum));
}
