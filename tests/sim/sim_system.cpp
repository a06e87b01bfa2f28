// Simulated errors, threads, time and the system version.
#include "sim_internal.h"
#include "sim_vwin32.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

thread_local DWORD lastError = 0;  // per thread, as on Windows

struct Version { DWORD platformId, major, minor, build; };
std::mutex versionMutex;  // guards `version`
Version version{VER_PLATFORM_WIN32_NT, 10, 0, 19045};  // what GetVersionExA reports; set by tests

std::atomic<DWORD> nextThreadId{100};  // ids handed out by CreateThread
std::atomic<int> failThreads{0};        // CreateThread calls still to fail

const Version kDefaultVersion{VER_PLATFORM_WIN32_NT, 10, 0, 19045};

}  // namespace

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD error) { lastError = error; }

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD,
                    LPDWORD threadId) {
  if (start == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (failThreads.load() > 0) {
    failThreads.fetch_sub(1);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HANDLE handle = sim_internal::RegisterThreadHandle();
  DWORD id = nextThreadId.fetch_add(1);
  if (threadId != nullptr) *threadId = id;
  std::thread([start, parameter] { start(parameter); }).detach();
  return handle;
}

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

DWORD GetTickCount() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
  // 156 is the size of the extended record, which Windows also accepts.
  if (info == nullptr || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) && info->dwOSVersionInfoSize != 156)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(versionMutex);
  info->dwMajorVersion = version.major;
  info->dwMinorVersion = version.minor;
  info->dwBuildNumber = version.build;
  info->dwPlatformId = version.platformId;
  std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
  return TRUE;
}

namespace sim_internal {

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

void ResetSystem() {
  failThreads.store(0);
  std::lock_guard<std::mutex> lock(versionMutex);
  version = kDefaultVersion;
}

}  // namespace sim_internal

namespace sim {

void FailCreateThreads(int count) { failThreads.store(count); }

void SetVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build) {
  std::lock_guard<std::mutex> lock(versionMutex);
  version = Version{platformId, major, minor, build};
}

void Reset() {
  sim_internal::ResetHandles();
  sim_internal::ResetDevices();
  sim_internal::ResetMemory();
  sim_internal::ResetWindows();
  sim_internal::ResetSystem();
  SimVwin32Reset();
  SimNetReset();
  SetLastError(0);
}

std::string Utf8(const wchar_t* text) {
  std::string out;
  if (text == nullptr) return out;
  for (size_t i = 0; text[i] != 0; ++i) {
    uint32_t c = static_cast<uint32_t>(text[i]);
    if (c >= 0xD800 && c <= 0xDBFF && text[i + 1] != 0) {  // a UTF-16 surrogate pair
      uint32_t low = static_cast<uint32_t>(text[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace sim
