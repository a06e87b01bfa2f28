// Simulated handles: host files, block devices, the VWIN32 driver and thread
// handles, with the documented Win32 results and last-error values.
#include "sim_internal.h"
#include "sim_vwin32.h"

#include <algorithm>
#include <cstddef>
#include <vector>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Kind { HostFile, Device, Vwin32, Thread, Event };

struct SimHandle {
  Kind kind = Kind::HostFile;
  std::string path;          // as given to CreateFileA
  int fd = -1;               // host files
  DWORD access = 0;
  bool noBuffering = false;  // opened with FILE_FLAG_NO_BUFFERING
  uint64_t position = 0;
  bool lockHeld = false;     // devices: this handle holds the volume lock
  std::string volume;        // host files on a volume: its device path ("\\.\L:"), else empty
  std::string relative;      // ... and the file's path within it
};

struct FileScript {
  bool hasLimit = false;
  uint64_t limit = 0;
  bool hasReadError = false;
  uint64_t readErrorOffset = 0;
  DWORD readError = 0;
  bool shortWriteSucceeds = false;  // a write past the limit reports success, having written less
  DWORD flushError = 0;             // FlushFileBuffers fails with it
  DWORD sizeError = 0;              // GetFileSize fails with it
};

std::mutex ioMutex;                          // guards everything below and the devices
std::map<uintptr_t, SimHandle> handles;      // open handles by value
uintptr_t nextHandle = 0x100;                // next handle value; never reused, so a stale handle stays invalid
std::map<std::string, FileScript> fileScripts;  // by path as given to CreateFileA
int unalignedTransfers = 0;                  // rejected transfers on unbuffered handles

const char kVwin32Path[] = "\\\\.\\vwin32";

std::mutex hookMutex;  // guards transferHook
std::function<void(const std::string&, uint64_t, DWORD, bool)> transferHook;  // the test's device transfer hook

void CallTransferHook(const std::string& path, uint64_t offset, DWORD bytes, bool write) {
  std::function<void(const std::string&, uint64_t, DWORD, bool)> hook;
  {
    std::lock_guard<std::mutex> lock(hookMutex);
    hook = transferHook;
  }
  if (hook) hook(path, offset, bytes, write);
}

HANDLE AddHandle(const SimHandle& handle) {
  uintptr_t value = nextHandle;
  nextHandle += 4;
  handles.emplace(value, handle);
  return reinterpret_cast<HANDLE>(value);
}

SimHandle* Lookup(HANDLE handle) {
  auto it = handles.find(reinterpret_cast<uintptr_t>(handle));
  return it == handles.end() ? nullptr : &it->second;
}

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES: case EPERM: case EISDIR: return ERROR_ACCESS_DENIED;
    case ENOSPC: return ERROR_DISK_FULL;
    case EEXIST: return ERROR_FILE_EXISTS;
    default: return ERROR_INVALID_FUNCTION;
  }
}

bool IsRawPath(const std::string& path) { return path.compare(0, 4, "\\\\.\\") == 0; }

bool Unaligned(const SimHandle& handle, const void* buffer, DWORD length) {
  if (!handle.noBuffering) return false;
  return reinterpret_cast<uintptr_t>(buffer) % 512 != 0 || length % 512 != 0 || handle.position % 512 != 0;
}

DWORD ReadHostFile(SimHandle& handle, uint8_t* out, DWORD length, DWORD* done) {
  auto script = fileScripts.find(handle.path);
  if (script != fileScripts.end() && script->second.hasReadError) {
    // As on Windows, a read fails as a whole when any byte it would return is unreadable.
    struct stat info {};
    const uint64_t size = fstat(handle.fd, &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
    const uint64_t reach = std::min<uint64_t>(handle.position + length, size);
    const uint64_t bad = script->second.readErrorOffset;
    if (handle.position >= bad || (length > 0 && reach > bad)) return script->second.readError;
  }
  while (*done < length) {
    ssize_t got = pread(handle.fd, out + *done, length - *done, static_cast<off_t>(handle.position + *done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return ERROR_READ_FAULT;
    }
    if (got == 0) break;
    *done += static_cast<DWORD>(got);
  }
  return 0;
}

DWORD WriteHostFile(SimHandle& handle, const uint8_t* in, DWORD length, DWORD* done) {
  DWORD allowed = length;
  auto script = fileScripts.find(handle.path);
  if (script != fileScripts.end() && script->second.hasLimit) {
    uint64_t limit = script->second.limit;
    uint64_t room = handle.position >= limit ? 0 : limit - handle.position;
    if (room < allowed) allowed = static_cast<DWORD>(room);
  }
  while (*done < allowed) {
    ssize_t put = pwrite(handle.fd, in + *done, allowed - *done, static_cast<off_t>(handle.position + *done));
    if (put < 0) {
      if (errno == EINTR) continue;
      return ErrorFromErrno(errno);
    }
    *done += static_cast<DWORD>(put);
  }
  if (allowed < length && script->second.shortWriteSucceeds) return 0;
  return allowed < length ? ERROR_DISK_FULL : 0;
}

}  // namespace

namespace sim_internal {

std::mutex& IoMutex() { return ioMutex; }

HANDLE RegisterThreadHandle() {
  std::lock_guard<std::mutex> lock(ioMutex);
  SimHandle handle;
  handle.kind = Kind::Thread;
  return AddHandle(handle);
}

HANDLE RegisterEventHandle() {
  std::lock_guard<std::mutex> lock(ioMutex);
  SimHandle handle;
  handle.kind = Kind::Event;
  return AddHandle(handle);
}

bool HandleOpen(HANDLE handle) {
  std::lock_guard<std::mutex> lock(ioMutex);
  return Lookup(handle) != nullptr;
}

void ResetHandles() {
  std::lock_guard<std::mutex> lock(ioMutex);
  for (auto& entry : handles) {
    if (entry.second.fd >= 0) close(entry.second.fd);
  }
  handles.clear();
  fileScripts.clear();
  unalignedTransfers = 0;
  std::lock_guard<std::mutex> hookLock(hookMutex);
  transferHook = nullptr;
}

}  // namespace sim_internal

namespace {

// Both forms of CreateFile once the name is UTF-8, which is also the host's
// name of a plain file.
HANDLE OpenByName(const std::string& name, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  if (name.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  // Wildcards and these marks are no part of a Windows file name: an ANSI name
  // whose characters the code page lacks arrives here with "?" in their place.
  if (name.compare(0, 4, "\\\\?\\") != 0 && name.find_first_of("?*\"<>|") != std::string::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  SimHandle handle;
  handle.path = name;
  handle.access = access;
  handle.noBuffering = (flags & FILE_FLAG_NO_BUFFERING) != 0;

  if (sim_internal::EqualNoCase(name, kVwin32Path)) {
    if (!SimVwin32Open()) return INVALID_HANDLE_VALUE;  // the driver left the last error
    std::lock_guard<std::mutex> lock(ioMutex);
    handle.kind = Kind::Vwin32;
    return AddHandle(handle);
  }

  std::unique_lock<std::mutex> lock(ioMutex);
  handle.path = sim_internal::DevicePathOf(name);  // a volume name opens the volume's device
  if (sim_internal::SimDevice* device = sim_internal::FindDevice(handle.path)) {
    if (device->setup.openError != 0 && device->stats.opens >= device->setup.opensBeforeError) {
      DWORD error = device->setup.openError;
      lock.unlock();
      SetLastError(error);
      return INVALID_HANDLE_VALUE;
    }
    device->stats.opens++;
    device->stats.openHandles++;
    device->stats.lastOpenAccess = access;
    device->stats.lastOpenShare = share;
    device->stats.lastOpenDisposition = disposition;
    device->stats.lastOpenFlags = flags;
    handle.kind = Kind::Device;
    return AddHandle(handle);
  }
  if (IsRawPath(name)) {  // a device nobody registered does not exist
    lock.unlock();
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }

  std::string volume, relative;
  const std::string host = sim_internal::HostPathOf(name, &volume, &relative);
  if (volume.empty() && ((name.size() >= 2 && name[1] == ':') || name.compare(0, 4, "\\\\?\\") == 0)) {
    // a drive letter without a folder of files
    lock.unlock();
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  int openFlags = O_CLOEXEC;
  const bool wantRead = (access & GENERIC_READ) != 0, wantWrite = (access & GENERIC_WRITE) != 0;
  openFlags |= wantWrite ? (wantRead ? O_RDWR : O_WRONLY) : O_RDONLY;
  struct stat info;
  const bool existed = stat(host.c_str(), &info) == 0;
  DWORD error = 0;
  switch (disposition) {
    case CREATE_NEW: openFlags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: openFlags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: openFlags |= O_CREAT; break;
    default: error = ERROR_INVALID_PARAMETER; break;
  }
  if (error == 0 && existed && S_ISDIR(info.st_mode)) error = ERROR_ACCESS_DENIED;
  int fd = -1;
  if (error == 0) {
    fd = open(host.c_str(), openFlags, 0644);
    if (fd < 0) error = ErrorFromErrno(errno);
  }
  if (error != 0) {
    lock.unlock();
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  handle.kind = Kind::HostFile;
  handle.fd = fd;
  handle.volume = volume;
  handle.relative = relative;
  HANDLE result = AddHandle(handle);
  lock.unlock();
  // Windows reports that an existing file was replaced or opened, while succeeding.
  if (existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)) SetLastError(ERROR_ALREADY_EXISTS);
  return result;
}

}  // namespace

BOOL DeleteFileA(LPCSTR path) {
  std::string host;
  {
    std::lock_guard<std::mutex> lock(ioMutex);
    std::string volume, relative;
    host = sim_internal::HostPathOf(sim::Utf8(sim_internal::AnsiToWide(path == nullptr ? "" : path).c_str()), &volume,
                                    &relative);
  }
  if (unlink(host.c_str()) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags,
                   HANDLE) {
  return OpenByName(path == nullptr ? "" : sim::Utf8(sim_internal::AnsiToWide(path).c_str()), access, share,
                    disposition, flags);
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags,
                   HANDLE) {
  if (sim_internal::WideCallIsStub()) return INVALID_HANDLE_VALUE;
  return OpenByName(sim::Utf8(path), access, share, disposition, flags);
}

namespace {

// The checks a transfer passes before it moves anything: the error that
// refuses it, or 0. Called with ioMutex held.
DWORD TransferRefusal(SimHandle* handle, const void* buffer, DWORD length, const void* count, DWORD access) {
  if (handle == nullptr || handle->kind == Kind::Thread) return ERROR_INVALID_HANDLE;
  if (count == nullptr || (buffer == nullptr && length != 0)) return ERROR_INVALID_PARAMETER;
  if (handle->kind == Kind::Vwin32) return ERROR_INVALID_FUNCTION;
  if ((handle->access & access) == 0) return ERROR_ACCESS_DENIED;
  if (Unaligned(*handle, buffer, length)) {
    ++unalignedTransfers;
    return ERROR_INVALID_PARAMETER;
  }
  return 0;
}

// Whether a file on the volume of device `volume` is open. Called with ioMutex held.
bool FileOpenOnVolume(const std::string& volume) {
  for (const auto& entry : handles) {
    if (entry.second.kind == Kind::HostFile && !entry.second.volume.empty() &&
        sim_internal::EqualNoCase(entry.second.volume, volume)) {
      return true;
    }
  }
  return false;
}

}  // namespace

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
  if (read != nullptr) *read = 0;
  if (sim_internal::ConsoleRead(file, buffer, toRead, read)) return TRUE;
  DWORD error = 0, done = 0;
  bool failed = false;       // a device may fail a call with last error 0
  std::string hookPath;      // set for device transfers
  uint64_t hookOffset = 0;
  {
    std::lock_guard<std::mutex> lock(ioMutex);
    SimHandle* handle = Lookup(file);
    error = TransferRefusal(handle, buffer, toRead, read, GENERIC_READ);
    if (error != 0) {
      // refused before anything moved
    } else if (handle->kind == Kind::Device) {
      sim_internal::SimDevice* device = sim_internal::FindDevice(handle->path);
      if (device == nullptr) {
        error = ERROR_NOT_READY;  // the device went away
      } else {
        uint32_t got = 0;
        failed = !sim_internal::DeviceRead(*device, handle->position, static_cast<uint8_t*>(buffer), toRead, &got,
                                           &error);
        done = got;
        hookPath = handle->path;
        hookOffset = handle->position;
      }
    } else {
      error = ReadHostFile(*handle, static_cast<uint8_t*>(buffer), toRead, &done);
    }
    if (handle != nullptr) handle->position += done;
  }
  if (read != nullptr) *read = done;
  if (!hookPath.empty()) CallTransferHook(hookPath, hookOffset, done, false);
  if (error != 0 || failed) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED) {
  if (written != nullptr) *written = 0;
  if (sim_internal::ConsoleWrite(file, buffer, toWrite, written)) return TRUE;
  DWORD error = 0, done = 0;
  bool failed = false;       // a device may fail a call with last error 0
  std::string hookPath;      // set for device transfers
  uint64_t hookOffset = 0;
  {
    std::lock_guard<std::mutex> lock(ioMutex);
    SimHandle* handle = Lookup(file);
    error = TransferRefusal(handle, buffer, toWrite, written, GENERIC_WRITE);
    if (error != 0) {
      // refused before anything moved
    } else if (handle->kind == Kind::Device) {
      sim_internal::SimDevice* device = sim_internal::FindDevice(handle->path);
      if (device == nullptr) {
        error = ERROR_NOT_READY;
      } else if (sim_internal::MountedVolumeInTheWay(handle->path, handle->position, toWrite)) {
        // Windows keeps a disk handle out of the volumes it has mounted.
        device->stats.writeOffsets.push_back(handle->position);
        error = ERROR_ACCESS_DENIED;
        hookPath = handle->path;
        hookOffset = handle->position;
      } else {
        uint32_t put = 0;
        failed = !sim_internal::DeviceWrite(*device, handle->position, static_cast<const uint8_t*>(buffer), toWrite,
                                            &put, &error);
        done = put;
        hookPath = handle->path;
        hookOffset = handle->position;
      }
    } else {
      error = WriteHostFile(*handle, static_cast<const uint8_t*>(buffer), toWrite, &done);
    }
    if (handle != nullptr) handle->position += done;
  }
  if (written != nullptr) *written = done;
  if (!hookPath.empty()) CallTransferHook(hookPath, hookOffset, done, true);
  if (error != 0 || failed) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distanceLow, PLONG distanceHigh, DWORD method) {
  DWORD error = 0;
  uint64_t result = 0;
  {
    std::lock_guard<std::mutex> lock(ioMutex);
    SimHandle* handle = Lookup(file);
    if (handle == nullptr || handle->kind == Kind::Thread || handle->kind == Kind::Vwin32) {
      error = ERROR_INVALID_HANDLE;
    } else {
      // Without the high part the distance is a signed 32-bit value.
      int64_t distance = distanceHigh != nullptr
                             ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                                    static_cast<uint32_t>(distanceLow))
                             : static_cast<int64_t>(distanceLow);
      int64_t base = 0;
      if (method == FILE_BEGIN) {
        base = 0;
      } else if (method == FILE_CURRENT) {
        base = static_cast<int64_t>(handle->position);
      } else if (method == FILE_END) {
        if (handle->kind == Kind::Device) {
          sim_internal::SimDevice* device = sim_internal::FindDevice(handle->path);
          base = device != nullptr ? static_cast<int64_t>(device->setup.sizeBytes) : 0;
        } else {
          struct stat info;
          base = fstat(handle->fd, &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
        }
      } else {
        error = ERROR_INVALID_PARAMETER;
      }
      if (error == 0) {
        int64_t target = base + distance;
        if (target < 0) {
          error = ERROR_NEGATIVE_SEEK;
        } else {
          handle->position = static_cast<uint64_t>(target);
          result = handle->position;
        }
      }
    }
  }
  if (error != 0) {
    SetLastError(error);
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh != nullptr) *distanceHigh = static_cast<LONG>(static_cast<uint32_t>(result >> 32));
  // A low part that looks like the failure value is told apart by a cleared last error.
  if (static_cast<DWORD>(result) == INVALID_SET_FILE_POINTER) SetLastError(NO_ERROR);
  return static_cast<DWORD>(result);
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  DWORD error = 0;
  uint64_t size = 0;
  {
    std::lock_guard<std::mutex> lock(ioMutex);
    SimHandle* handle = Lookup(file);
    if (handle == nullptr || handle->kind == Kind::Thread || handle->kind == Kind::Vwin32) {
      error = ERROR_INVALID_HANDLE;
    } else if (handle->kind == Kind::Device) {
      error = ERROR_INVALID_FUNCTION;
    } else {
      struct stat info;
      auto script = fileScripts.find(handle->path);
      if (script != fileScripts.end() && script->second.sizeError != 0) {
        error = script->second.sizeError;
      } else if (fstat(handle->fd, &info) != 0) {
        error = ERROR_INVALID_HANDLE;
      } else {
        size = static_cast<uint64_t>(info.st_size);
      }
    }
  }
  if (error != 0) {
    SetLastError(error);
    return INVALID_FILE_SIZE;
  }
  if (sizeHigh != nullptr) *sizeHigh = static_cast<DWORD>(size >> 32);
  // Windows leaves the last error alone on success, also when the low part
  // looks like INVALID_FILE_SIZE: callers clear it first.
  return static_cast<DWORD>(size);
}

BOOL SetEndOfFile(HANDLE file) {
  DWORD error = 0;
  {
    std::lock_guard<std::mutex> lock(ioMutex);
    SimHandle* handle = Lookup(file);
    if (handle == nullptr || handle->kind != Kind::HostFile) {
      error = ERROR_INVALID_HANDLE;
    } else if ((handle->access & GENERIC_WRITE) == 0) {
      error = ERROR_ACCESS_DENIED;
    } else if (ftruncate(handle->fd, static_cast<off_t>(handle->position)) != 0) {
      error = ErrorFromErrno(errno);
    }
  }
  if (error != 0) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
  DWORD error = 0;
  {
    std::lock_guard<std::mutex> lock(ioMutex);
    SimHandle* handle = Lookup(file);
    if (handle == nullptr || handle->kind == Kind::Thread || handle->kind == Kind::Vwin32) {
      error = ERROR_INVALID_HANDLE;
    } else if (handle->kind == Kind::HostFile) {
      auto script = fileScripts.find(handle->path);
      if ((handle->access & GENERIC_WRITE) == 0) {
        error = ERROR_ACCESS_DENIED;
      } else if (script != fileScripts.end() && script->second.flushError != 0) {
        error = script->second.flushError;
      }
    }
  }
  if (error != 0) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

BOOL CloseHandle(HANDLE object) {
  sim::Event event;
  bool record = false;
  {
    std::lock_guard<std::mutex> lock(ioMutex);
    auto it = handles.find(reinterpret_cast<uintptr_t>(object));
    if (it == handles.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    SimHandle& handle = it->second;
    if (handle.kind == Kind::Device) {
      if (sim_internal::SimDevice* device = sim_internal::FindDevice(handle.path)) {
        device->stats.openHandles--;
        if (handle.lockHeld) {  // closing a handle releases its lock; the volume mounts again when next used
          device->stats.locksHeld--;
          if (sim_internal::SimVolume* volume = sim_internal::FindVolumeOfDevice(handle.path)) {
            volume->dismounted = false;
          }
        }
      }
    }
    if (handle.fd >= 0) close(handle.fd);
    if (handle.kind == Kind::Device || handle.kind == Kind::HostFile) {
      record = true;
      event.kind = "CloseHandle";
      event.text = handle.path;
    }
    handles.erase(it);
  }
  if (record) sim_internal::RecordEvent(event);
  return TRUE;
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                     LPDWORD returned, LPOVERLAPPED) {
  DWORD error = 0;
  bool updateEvent = false;  // the table refresh is logged among the window calls and closed files
  std::string updatePath;
  {
    std::unique_lock<std::mutex> lock(ioMutex);
    SimHandle* handle = Lookup(device);
    if (handle == nullptr || handle->kind == Kind::Thread) {
      lock.unlock();
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (handle->kind == Kind::Vwin32) {
      lock.unlock();  // the driver keeps its own records
      return SimVwin32Ioctl(code, in, inSize, out, outSize, returned);
    }
    if (returned == nullptr) {
      error = ERROR_INVALID_PARAMETER;
    } else if (handle->kind == Kind::HostFile) {
      *returned = 0;
      error = ERROR_INVALID_FUNCTION;
    } else {
      *returned = 0;
      sim_internal::SimDevice* simDevice = sim_internal::FindDevice(handle->path);
      if (simDevice == nullptr) {
        error = ERROR_NOT_READY;
      } else {
        const sim::DeviceSpec& setup = simDevice->setup;
        sim::DeviceStats& stats = simDevice->stats;
        switch (code) {
          case IOCTL_DISK_GET_DRIVE_GEOMETRY:
            stats.geometryRequests++;
            if (!setup.hasGeometry) {
              error = setup.sizeQueryError;
            } else if (out == nullptr || outSize < sizeof(DISK_GEOMETRY)) {
              error = ERROR_INSUFFICIENT_BUFFER;
            } else {
              std::memcpy(out, &setup.geometry, sizeof(DISK_GEOMETRY));
              *returned = sizeof(DISK_GEOMETRY);
            }
            break;
          case IOCTL_DISK_GET_PARTITION_INFO:
            stats.partitionRequests++;
            if (!setup.hasPartition) {
              error = setup.sizeQueryError;
            } else if (out == nullptr || outSize < sizeof(PARTITION_INFORMATION)) {
              error = ERROR_INSUFFICIENT_BUFFER;
            } else {
              PARTITION_INFORMATION info{};
              info.PartitionLength.QuadPart = static_cast<LONGLONG>(setup.partitionLength);
              info.RecognizedPartition = TRUE;
              std::memcpy(out, &info, sizeof(info));
              *returned = sizeof(PARTITION_INFORMATION);
            }
            break;
          case IOCTL_DISK_GET_LENGTH_INFO:
            stats.lengthRequests++;
            if (!setup.answersLength) {
              error = setup.sizeQueryError;  // before XP, and under Wine
            } else if (out == nullptr || outSize < sizeof(GET_LENGTH_INFORMATION)) {
              error = ERROR_INSUFFICIENT_BUFFER;
            } else {
              GET_LENGTH_INFORMATION info{};
              info.Length.QuadPart = static_cast<LONGLONG>(setup.sizeBytes);
              std::memcpy(out, &info, sizeof(info));
              *returned = sizeof(GET_LENGTH_INFORMATION);
            }
            break;
          case FSCTL_LOCK_VOLUME:
            stats.lockRequests++;
            if (!setup.lockGranted || stats.lockRequests <= setup.lockRefusals || FileOpenOnVolume(handle->path) ||
                (stats.locksHeld > 0 && !handle->lockHeld)) {
              error = ERROR_ACCESS_DENIED;
            } else if (!handle->lockHeld) {
              handle->lockHeld = true;
              stats.locksHeld++;
            }
            break;
          case FSCTL_UNLOCK_VOLUME:
            stats.unlockRequests++;
            if (!handle->lockHeld) {
              error = ERROR_NOT_LOCKED;
            } else {
              handle->lockHeld = false;
              stats.locksHeld--;
              if (sim_internal::SimVolume* volume = sim_internal::FindVolumeOfDevice(handle->path)) {
                volume->dismounted = false;
              }
            }
            break;
          case FSCTL_ALLOW_EXTENDED_DASD_IO:
            stats.extendedDasdRequests++;
            break;
          case IOCTL_DISK_UPDATE_PROPERTIES:
            stats.updatePropertiesRequests++;
            updateEvent = true;
            updatePath = handle->path;
            break;
          case FSCTL_DISMOUNT_VOLUME:
            stats.dismountRequests++;
            if (setup.dismountError != 0) {
              error = setup.dismountError;
            } else if (sim_internal::SimVolume* volume = sim_internal::FindVolumeOfDevice(handle->path)) {
              volume->dismounted = true;
            }
            break;
          case IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS: {
            const sim_internal::SimVolume* volume = sim_internal::FindVolumeOfDevice(handle->path);
            if (volume == nullptr || volume->setup.diskNumber < 0) {
              error = ERROR_INVALID_FUNCTION;
              break;
            }
            std::vector<DISK_EXTENT> extents(1);
            extents[0].DiskNumber = static_cast<DWORD>(volume->setup.diskNumber);
            extents[0].StartingOffset.QuadPart = static_cast<LONGLONG>(volume->setup.offset);
            extents[0].ExtentLength.QuadPart = static_cast<LONGLONG>(volume->setup.length);
            for (int disk : volume->setup.moreDisks) {
              DISK_EXTENT more{};
              more.DiskNumber = static_cast<DWORD>(disk);
              more.ExtentLength.QuadPart = 1 << 20;
              extents.push_back(more);
            }
            const size_t needed = offsetof(VOLUME_DISK_EXTENTS, Extents) + extents.size() * sizeof(DISK_EXTENT);
            if (out == nullptr || outSize < sizeof(VOLUME_DISK_EXTENTS)) {
              error = ERROR_INSUFFICIENT_BUFFER;
              break;
            }
            const DWORD count = static_cast<DWORD>(extents.size());
            std::memcpy(out, &count, sizeof(count));
            // Too small for them all: the count and what fits, and ERROR_MORE_DATA.
            const size_t fits = (outSize - offsetof(VOLUME_DISK_EXTENTS, Extents)) / sizeof(DISK_EXTENT);
            const size_t copied = std::min(fits, extents.size());
            std::memcpy(static_cast<uint8_t*>(out) + offsetof(VOLUME_DISK_EXTENTS, Extents), extents.data(),
                        copied * sizeof(DISK_EXTENT));
            *returned = static_cast<DWORD>(offsetof(VOLUME_DISK_EXTENTS, Extents) + copied * sizeof(DISK_EXTENT));
            if (outSize < needed) error = ERROR_MORE_DATA;
            break;
          }
          case IOCTL_STORAGE_QUERY_PROPERTY: {
            // A volume answers for the disk it lies on.
            const sim::DeviceSpec* described = &setup;
            if (const sim_internal::SimVolume* volume = sim_internal::FindVolumeOfDevice(handle->path)) {
              const sim_internal::SimDevice* disk = sim_internal::FindDevice(
                  "\\\\.\\PHYSICALDRIVE" + std::to_string(volume->setup.diskNumber));
              described = disk != nullptr ? &disk->setup : nullptr;
            }
            STORAGE_PROPERTY_QUERY query{};
            if (in == nullptr || inSize < sizeof(query)) {
              error = ERROR_INVALID_PARAMETER;
              break;
            }
            std::memcpy(&query, in, sizeof(query));
            if (described == nullptr || !described->describes || query.PropertyId != StorageDeviceProperty ||
                query.QueryType != PropertyStandardQuery) {
              error = ERROR_INVALID_FUNCTION;
              break;
            }
            std::vector<uint8_t> answer(sizeof(STORAGE_DEVICE_DESCRIPTOR), 0);
            STORAGE_DEVICE_DESCRIPTOR descriptor{};
            auto addString = [&answer](const std::string& text) -> DWORD {
              if (text.empty()) return 0;
              const DWORD at = static_cast<DWORD>(answer.size());
              answer.insert(answer.end(), text.begin(), text.end());
              answer.push_back(0);
              return at;
            };
            descriptor.Version = sizeof(STORAGE_DEVICE_DESCRIPTOR);
            descriptor.VendorIdOffset = addString(described->vendor);
            descriptor.ProductIdOffset = addString(described->product);
            descriptor.SerialNumberOffset = addString(described->serial);
            descriptor.BusType = described->busType;
            descriptor.RemovableMedia = described->removableMedia ? 1 : 0;
            descriptor.Size = static_cast<DWORD>(answer.size());
            std::memcpy(answer.data(), &descriptor, sizeof(descriptor));
            if (out == nullptr || outSize < answer.size()) {
              error = ERROR_INSUFFICIENT_BUFFER;
              break;
            }
            std::memcpy(out, answer.data(), answer.size());
            *returned = static_cast<DWORD>(answer.size());
            break;
          }
          default:
            error = ERROR_INVALID_FUNCTION;
            break;
        }
      }
    }
  }
  if (updateEvent) {
    sim::Event event;
    event.kind = "UpdateProperties";
    event.text = updatePath;
    sim_internal::RecordEvent(event);
  }
  if (error != 0) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

// Only the volume-name form; a file on no volume (a share) has none.
DWORD GetFinalPathNameByHandleW(HANDLE file, LPWSTR out, DWORD chars, DWORD flags) {
  std::string path;
  {
    std::lock_guard<std::mutex> lock(ioMutex);
    SimHandle* handle = Lookup(file);
    if (handle == nullptr || handle->kind != Kind::HostFile) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    if (flags != 0x1 || handle->volume.empty()) {
      SetLastError(flags != 0x1 ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
      return 0;
    }
    path = sim_internal::VolumeNameOfDevice(handle->volume) + handle->relative;
  }
  const std::wstring wide = sim::Utf16(path);
  if (out == nullptr || wide.size() + 1 > chars) return static_cast<DWORD>(wide.size() + 1);
  std::copy(wide.begin(), wide.end(), out);
  out[wide.size()] = L'\0';
  return static_cast<DWORD>(wide.size());
}

BOOL DeleteFileW(LPCWSTR path) {
  if (sim_internal::WideCallIsStub()) return FALSE;
  std::string host;
  {
    std::lock_guard<std::mutex> lock(ioMutex);
    std::string volume, relative;
    host = sim_internal::HostPathOf(sim::Utf8(path), &volume, &relative);
  }
  if (unlink(host.c_str()) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

namespace sim {

void SetFileSizeLimit(const std::string& path, uint64_t limit) {
  std::lock_guard<std::mutex> lock(ioMutex);
  FileScript& script = fileScripts[path];
  script.hasLimit = true;
  script.limit = limit;
}

void SetFileShortWrite(const std::string& path, uint64_t limit) {
  std::lock_guard<std::mutex> lock(ioMutex);
  FileScript& script = fileScripts[path];
  script.hasLimit = true;
  script.limit = limit;
  script.shortWriteSucceeds = true;
}

void SetFileFlushError(const std::string& path, DWORD error) {
  std::lock_guard<std::mutex> lock(ioMutex);
  fileScripts[path].flushError = error;
}

void SetFileSizeError(const std::string& path, DWORD error) {
  std::lock_guard<std::mutex> lock(ioMutex);
  fileScripts[path].sizeError = error;
}

void SetFileReadError(const std::string& path, uint64_t offset, DWORD error) {
  std::lock_guard<std::mutex> lock(ioMutex);
  FileScript& script = fileScripts[path];
  script.hasReadError = true;
  script.readErrorOffset = offset;
  script.readError = error;
}

int OpenHandleCount() {
  std::lock_guard<std::mutex> lock(ioMutex);
  int count = sim_internal::OpenVolumeSearches();
  for (const auto& entry : handles) {
    if (entry.second.kind != Kind::Thread) ++count;
  }
  return count;
}

int OpenThreadHandles() {
  std::lock_guard<std::mutex> lock(ioMutex);
  int count = 0;
  for (const auto& entry : handles) {
    if (entry.second.kind == Kind::Thread) ++count;
  }
  return count;
}

void SetDeviceTransferHook(std::function<void(const std::string&, uint64_t, DWORD, bool)> hook) {
  std::lock_guard<std::mutex> lock(hookMutex);
  transferHook = std::move(hook);
}

int UnalignedTransfers() {
  std::lock_guard<std::mutex> lock(ioMutex);
  return unalignedTransfers;
}

}  // namespace sim
