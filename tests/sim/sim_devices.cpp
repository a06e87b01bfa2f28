// Simulated block devices: generated content under an overlay of written
// sectors, scripted failures and per-device counters.
#include "sim_internal.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

std::vector<std::pair<std::string, sim_internal::SimDevice>> devices;  // by path; guarded by IoMutex()
std::map<char, sim_internal::SimVolume> volumes;  // by upper-case drive letter; guarded by IoMutex()

std::string VolumePath(char letter) { return std::string("\\\\.\\") + letter + ":"; }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The disk number of "\\.\PHYSICALDRIVEn", or -1.
int DiskNumberOfPath(const std::string& path) {
  static const std::string kPrefix = "\\\\.\\PHYSICALDRIVE";
  if (path.size() <= kPrefix.size() || !sim_internal::EqualNoCase(path.substr(0, kPrefix.size()), kPrefix)) return -1;
  int number = 0;
  for (size_t i = kPrefix.size(); i < path.size(); ++i) {
    if (path[i] < '0' || path[i] > '9') return -1;
    number = number * 10 + (path[i] - '0');
  }
  return number;
}

void Generate(const sim_internal::SimDevice& device, uint64_t offset, uint8_t* out, size_t length) {
  if (device.setup.fill) {
    device.setup.fill(offset, out, length);
  } else if (device.setup.pattern) {
    for (size_t i = 0; i < length; ++i) out[i] = device.setup.pattern(offset + i);
  } else {
    std::memset(out, 0, length);
  }
}

// First scripted sector in [first, last], or the map's end.
std::map<uint64_t, DWORD>::const_iterator FindScripted(const std::map<uint64_t, DWORD>& sectors, uint64_t first,
                                                       uint64_t last) {
  auto it = sectors.lower_bound(first);
  if (it != sectors.end() && it->first <= last) return it;
  return sectors.end();
}

}  // namespace

namespace sim_internal {

SimDevice* FindDevice(const std::string& path) {
  for (auto& entry : devices) {
    if (EqualNoCase(entry.first, path)) return &entry.second;
  }
  return nullptr;
}

bool DeviceRead(SimDevice& device, uint64_t position, uint8_t* out, uint32_t length, uint32_t* done, DWORD* error) {
  *done = 0;
  *error = 0;
  if (device.setup.readErrorAll != 0) {
    *error = device.setup.readErrorAll;
    return false;
  }
  if (length == 0) return true;
  const uint64_t size = device.setup.sizeBytes;
  if (device.setup.crossEndError != 0 && position + length > size) {
    *error = device.setup.crossEndError;
    return false;
  }
  if (position >= size) {
    *error = device.setup.endReadError;
    return *error == 0;
  }
  const uint64_t count = std::min<uint64_t>(length, size - position);
  const uint64_t first = position / kSimSector, last = (position + count - 1) / kSimSector;
  auto bad = FindScripted(device.setup.badReadSectors, first, last);
  if (bad != device.setup.badReadSectors.end()) {
    *error = bad->second;
    return false;
  }

  Generate(device, position, out, count);
  for (auto it = device.overlay.lower_bound(first); it != device.overlay.end() && it->first <= last; ++it) {
    const uint64_t sectorStart = it->first * kSimSector;
    const uint64_t from = std::max(sectorStart, position);
    const uint64_t to = std::min(sectorStart + kSimSector, position + count);
    std::memcpy(out + (from - position), it->second.data() + (from - sectorStart), to - from);
  }
  device.stats.bytesRead += count;
  *done = static_cast<uint32_t>(count);
  return true;
}

bool DeviceWrite(SimDevice& device, uint64_t position, const uint8_t* in, uint32_t length, uint32_t* done,
                 DWORD* error) {
  *done = 0;
  *error = 0;
  device.stats.writeOffsets.push_back(position);
  if (length == 0) return true;
  const uint64_t size = device.setup.sizeBytes;
  if (device.setup.crossEndError != 0 && position + length > size) {
    *error = device.setup.crossEndError;
    return false;
  }
  const uint64_t fit = position >= size ? 0 : std::min<uint64_t>(length, size - position);
  if (fit > 0) {
    const uint64_t first = position / kSimSector, last = (position + fit - 1) / kSimSector;
    auto bad = FindScripted(device.setup.badWriteSectors, first, last);
    if (bad != device.setup.badWriteSectors.end()) {
      *error = bad->second;
      return false;
    }
    for (uint64_t sector = first; sector <= last; ++sector) {
      const uint64_t sectorStart = sector * kSimSector;
      auto it = device.overlay.find(sector);
      if (it == device.overlay.end()) {
        std::array<uint8_t, kSimSector> content{};
        const uint64_t have = std::min<uint64_t>(kSimSector, size - sectorStart);
        Generate(device, sectorStart, content.data(), have);
        it = device.overlay.emplace(sector, content).first;
      }
      const uint64_t from = std::max(sectorStart, position);
      const uint64_t to = std::min(sectorStart + kSimSector, position + fit);
      std::memcpy(it->second.data() + (from - sectorStart), in + (from - position), to - from);
    }
    device.stats.bytesWritten += fit;
    *done = static_cast<uint32_t>(fit);
  }
  if (fit < length) {
    *error = device.setup.endWriteError;
    return *error == 0;
  }
  return true;
}

void ResetDevices() {
  devices.clear();
  volumes.clear();
}

SimVolume* FindVolume(char letter) {
  auto it = volumes.find(Upper(letter));
  return it == volumes.end() ? nullptr : &it->second;
}

char VolumeLetterOfPath(const std::string& path) {
  if (path.size() != 6 || path.compare(0, 4, "\\\\.\\") != 0 || path[5] != ':') return 0;
  const char letter = Upper(path[4]);
  return letter >= 'A' && letter <= 'Z' ? letter : 0;
}

std::string HostPathOf(const std::string& path, char* letter) {
  *letter = 0;
  if (path.size() < 3 || path[1] != ':' || (path[2] != '\\' && path[2] != '/')) return path;
  SimVolume* volume = FindVolume(path[0]);
  if (volume == nullptr || volume->setup.folder.empty()) return path;
  *letter = Upper(path[0]);
  std::string host = volume->setup.folder + "/" + path.substr(3);
  for (char& c : host) {
    if (c == '\\') c = '/';
  }
  return host;
}

char MountedVolumeInTheWay(const std::string& path, uint64_t position, uint64_t length) {
  const int disk = DiskNumberOfPath(path);
  if (disk < 0 || length == 0) return 0;
  for (const auto& entry : volumes) {
    const sim::VolumeSpec& setup = entry.second.setup;
    if (setup.diskNumber != disk || entry.second.dismounted) continue;
    if (position >= setup.offset + setup.length || position + length <= setup.offset) continue;
    const SimDevice* device = FindDevice(VolumePath(entry.first));
    if (device != nullptr && device->stats.locksHeld > 0) continue;
    return entry.first;
  }
  return 0;
}

}  // namespace sim_internal

// A letter with a volume or a raw device behind it is a fixed disk.
UINT GetDriveTypeA(LPCSTR root) {
  if (root == nullptr || root[0] == 0 || root[1] != ':') return DRIVE_NO_ROOT_DIR;
  std::lock_guard<std::mutex> lock(sim_internal::IoMutex());
  const char letter = Upper(root[0]);
  if (sim_internal::FindVolume(letter) != nullptr || sim_internal::FindDevice(VolumePath(letter)) != nullptr) {
    return DRIVE_FIXED;
  }
  return DRIVE_NO_ROOT_DIR;
}

namespace sim {

void AddDevice(const std::string& path, const DeviceSpec& setup) {
  std::lock_guard<std::mutex> lock(sim_internal::IoMutex());
  sim_internal::SimDevice* existing = sim_internal::FindDevice(path);
  if (existing != nullptr) {
    *existing = sim_internal::SimDevice{};
    existing->setup = setup;
    return;
  }
  devices.emplace_back(path, sim_internal::SimDevice{});
  devices.back().second.setup = setup;
}

std::vector<uint8_t> DeviceBytes(const std::string& path, uint64_t offset, uint64_t length) {
  std::lock_guard<std::mutex> lock(sim_internal::IoMutex());
  std::vector<uint8_t> out;
  sim_internal::SimDevice* device = sim_internal::FindDevice(path);
  if (device == nullptr || offset >= device->setup.sizeBytes) return out;
  length = std::min(length, device->setup.sizeBytes - offset);
  out.resize(length);
  if (length == 0) return out;
  Generate(*device, offset, out.data(), length);
  const uint64_t first = offset / sim_internal::kSimSector, last = (offset + length - 1) / sim_internal::kSimSector;
  for (auto it = device->overlay.lower_bound(first); it != device->overlay.end() && it->first <= last; ++it) {
    const uint64_t sectorStart = it->first * sim_internal::kSimSector;
    const uint64_t from = std::max(sectorStart, offset);
    const uint64_t to = std::min(sectorStart + sim_internal::kSimSector, offset + length);
    std::memcpy(out.data() + (from - offset), it->second.data() + (from - sectorStart), to - from);
  }
  return out;
}

void AddVolume(char letter, const VolumeSpec& setup) {
  letter = Upper(letter);
  {
    std::lock_guard<std::mutex> lock(sim_internal::IoMutex());
    volumes[letter] = sim_internal::SimVolume{setup, false};
    if (sim_internal::FindDevice(VolumePath(letter)) != nullptr) return;
  }
  DeviceSpec device;
  device.sizeBytes = setup.length;
  AddDevice(VolumePath(letter), device);
}

bool VolumeMounted(char letter) {
  std::lock_guard<std::mutex> lock(sim_internal::IoMutex());
  const sim_internal::SimVolume* volume = sim_internal::FindVolume(letter);
  if (volume == nullptr || volume->dismounted) return false;
  const sim_internal::SimDevice* device = sim_internal::FindDevice(VolumePath(Upper(letter)));
  return device == nullptr || device->stats.locksHeld == 0;
}

DeviceStats Device(const std::string& path) {
  std::lock_guard<std::mutex> lock(sim_internal::IoMutex());
  sim_internal::SimDevice* device = sim_internal::FindDevice(path);
  return device != nullptr ? device->stats : DeviceStats{};
}

}  // namespace sim
