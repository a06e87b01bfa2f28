// Reading a disk's identity through the storage property request.
#include "disk/disk_identity.h"

#include "disk/drive_naming.h"
#include "disk/raw_device.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kDescriptorBytes = 1024;  // the descriptor and its strings; longer strings are cut

union DescriptorAnswer {
  STORAGE_DEVICE_DESCRIPTOR descriptor;
  uint8_t bytes[kDescriptorBytes];
};

// The string at `offset` of the answer, trimmed of the spaces devices pad
// with; empty for an offset of 0 or one outside what was returned.
void CopyString(const uint8_t* answer, DWORD returned, DWORD offset, char* out) {
  out[0] = '\0';
  if (offset == 0 || offset >= returned) return;
  uint32_t length = 0;
  const char* text = reinterpret_cast<const char*>(answer + offset);
  while (offset + length < returned && text[length] != '\0' && length < kIdentityTextBytes - 1) ++length;
  uint32_t start = 0;
  while (start < length && text[start] == ' ') ++start;
  while (length > start && text[length - 1] == ' ') --length;
  for (uint32_t i = start; i < length; ++i) {
    // A control byte would break the entry's line.
    const unsigned char c = static_cast<unsigned char>(text[i]);
    out[i - start] = c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
  }
  out[length - start] = '\0';
}

void Describe(HANDLE device, DiskIdentity* out) {
  STORAGE_PROPERTY_QUERY query;
  std::memset(&query, 0, sizeof(query));
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  static DescriptorAnswer answer;  // main thread only: the list and Start
  std::memset(answer.bytes, 0, sizeof(answer.bytes));
  DWORD returned = 0;
  if (!DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), answer.bytes,
                       sizeof(answer.bytes), &returned, nullptr) ||
      returned < offsetof(STORAGE_DEVICE_DESCRIPTOR, RawPropertiesLength)) {
    return;  // before Windows 2000, or a device that does not say
  }
  out->described = true;
  out->busType = static_cast<uint32_t>(answer.descriptor.BusType);
  out->removableMedia = answer.descriptor.RemovableMedia != 0;
  CopyString(answer.bytes, returned, answer.descriptor.VendorIdOffset, out->vendor);
  CopyString(answer.bytes, returned, answer.descriptor.ProductIdOffset, out->product);
  CopyString(answer.bytes, returned, answer.descriptor.SerialNumberOffset, out->serial);
}

}  // namespace

bool ReadDiskIdentity(char designator, DiskIdentity* out) {
  std::memset(out, 0, sizeof(*out));
  out->designator = designator;
  char path[kDevicePathBytes];
  FormatDevicePath(designator, path, sizeof(path));
  out->ready = ProbeDeviceReadable(path);
  if (!out->ready && GetLastError() != ERROR_NOT_READY) return false;
  HANDLE device = OpenRawDevice(path, GENERIC_READ);
  if (device == INVALID_HANDLE_VALUE) return false;
  if (out->ready) out->lengthBytes = QueryDeviceLengthSectors(device) * kSectorBytes;
  Describe(device, out);
  CloseDevice(device);
  return true;
}

bool SameDisk(const DiskIdentity& a, const DiskIdentity& b) {
  return a.designator == b.designator && a.ready == b.ready && a.lengthBytes == b.lengthBytes &&
         a.described == b.described && a.busType == b.busType && a.removableMedia == b.removableMedia &&
         std::strcmp(a.vendor, b.vendor) == 0 && std::strcmp(a.product, b.product) == 0 &&
         std::strcmp(a.serial, b.serial) == 0;
}

bool IsInternalDisk(const DiskIdentity& identity) {
  if (!identity.described) return false;
  switch (identity.busType) {
    case kBusAta: case kBusSata: case kBusScsi: case kBusSas: case kBusNvme: case kBusRaid:
      return true;
    case kBusUsb: case kBusSd: case kBusMmc:
      return false;
    default:
      return !identity.removableMedia;
  }
}

void DescribeMaker(const DiskIdentity& identity, char* out, uint32_t outSize) {
  if (outSize == 0) return;
  const char* gap = identity.vendor[0] != '\0' && identity.product[0] != '\0' ? " " : "";
  std::snprintf(out, outSize, "%s%s%s", identity.vendor, gap, identity.product);
}
