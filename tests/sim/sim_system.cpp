// Simulated errors, threads, time and the system version.
#include "sim_internal.h"
#include "sim_vwin32.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace {

thread_local DWORD lastError = 0;  // per thread, as on Windows

struct Version { DWORD platformId, major, minor, build; };
std::mutex versionMutex;  // guards `version`
Version version{VER_PLATFORM_WIN32_NT, 10, 0, 19045};  // what GetVersionExA reports; set by tests

std::atomic<DWORD> nextThreadId{100};  // ids handed out by CreateThread
std::atomic<int> failThreads{0};        // CreateThread calls still to fail

const Version kDefaultVersion{VER_PLATFORM_WIN32_NT, 10, 0, 19045};

// Windows-1252 bytes 0x80..0x9F; the rest of its upper half is Latin-1.
const wchar_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

const char kDefaultWindowsDirectory[] = "C:\\WINDOWS";
std::mutex windowsDirectoryMutex;                        // guards windowsDirectory
std::string windowsDirectory = kDefaultWindowsDirectory;  // what GetWindowsDirectoryA answers; set by tests

// Milliseconds that Sleep skipped instead of waiting: a wait of seconds (a lock
// asked again and again) costs the tests one millisecond, while GetTickCount
// still sees the whole wait go by. Any thread adds to it.
std::atomic<uint64_t> skippedMilliseconds{0};

// Copies `path` out the way the path calls do: the length without the NUL when
// it fits, otherwise the size needed with it.
template <typename Char>
DWORD CopyPathOut(const Char* path, DWORD size, Char* buffer) {
  DWORD length = 0;
  while (path[length] != 0) ++length;
  if (buffer == nullptr || size <= length) return length + 1;
  for (DWORD i = 0; i <= length; ++i) buffer[i] = path[i];
  return length;
}

}  // namespace

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD error) { lastError = error; }

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD,
                    LPDWORD threadId) {
  if (start == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (threadId == nullptr) {
    std::lock_guard<std::mutex> lock(versionMutex);
    if (version.platformId == VER_PLATFORM_WIN32_WINDOWS) {  // Windows 95/98 need somewhere to put the id
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
  }
  if (failThreads.load() > 0) {
    failThreads.fetch_sub(1);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HANDLE handle = sim_internal::RegisterThreadHandle();
  DWORD id = nextThreadId.fetch_add(1);
  if (threadId != nullptr) *threadId = id;
  sim_internal::AddWaitable(handle, true, false);
  std::thread([start, parameter, handle] {
    start(parameter);
    sim_internal::SignalWaitable(handle);
  }).detach();
  return handle;
}

void Sleep(DWORD milliseconds) {
  const DWORD waited = milliseconds > 1 ? 1 : milliseconds;
  skippedMilliseconds.fetch_add(milliseconds - waited);
  std::this_thread::sleep_for(std::chrono::milliseconds(waited));
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  std::lock_guard<std::mutex> lock(windowsDirectoryMutex);
  return CopyPathOut(windowsDirectory.c_str(), size, buffer);
}

// Paths of the tests are full already: a drive path or a host path.
DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* filePart) {
  if (filePart != nullptr) *filePart = nullptr;
  if (path == nullptr || path[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return CopyPathOut(path, size, buffer);
}

DWORD GetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR buffer, LPWSTR* filePart) {
  if (filePart != nullptr) *filePart = nullptr;
  if (sim_internal::WideCallIsStub()) return 0;
  if (path == nullptr || path[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return CopyPathOut(path, size, buffer);
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

uint64_t SkippedSleepMilliseconds() { return skippedMilliseconds.load(); }

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

std::wstring AnsiToWide(const std::string& ansi) {
  std::wstring wide;
  for (unsigned char byte : ansi) wide += byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : wchar_t(byte);
  return wide;
}

std::string WideToAnsi(const std::wstring& wide) {
  std::string ansi;
  for (size_t i = 0; i < wide.size(); ++i) {
    const wchar_t unit = wide[i];
    char byte = '?';
    if (unit < 0x80 || (unit >= 0xA0 && unit < 0x100)) byte = static_cast<char>(unit);
    for (uint32_t k = 0; k < 32; ++k) {
      if (kCp1252High[k] == unit) byte = static_cast<char>(0x80 + k);
    }
    // A surrogate pair is one character, so one "?".
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000) ++i;
    ansi += byte;
  }
  return ansi;
}

bool WideCallIsStub() {
  std::lock_guard<std::mutex> lock(versionMutex);
  if (version.platformId != VER_PLATFORM_WIN32_WINDOWS) return false;
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return true;
}

void ResetSystem() {
  failThreads.store(0);
  {
    std::lock_guard<std::mutex> lock(versionMutex);
    version = kDefaultVersion;
  }
  std::lock_guard<std::mutex> lock(windowsDirectoryMutex);
  windowsDirectory = kDefaultWindowsDirectory;
}

}  // namespace sim_internal

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR text, int bytes, LPWSTR out, int outChars) {
  if ((codePage != CP_ACP && codePage != 1252 && codePage != CP_UTF8) || text == nullptr || bytes == 0 ||
      bytes < -1 || outChars < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // -1 takes the text with its NUL; a given length counts NULs as characters.
  const std::string narrow =
      bytes == -1 ? std::string(text, std::strlen(text) + 1) : std::string(text, static_cast<size_t>(bytes));
  const std::wstring wide = codePage == CP_UTF8 ? sim::Utf16(narrow) : sim_internal::AnsiToWide(narrow);
  if (outChars == 0) return static_cast<int>(wide.size());
  if (out == nullptr || wide.size() > static_cast<size_t>(outChars)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(wide.begin(), wide.end(), out);
  return static_cast<int>(wide.size());
}

namespace sim {

void FailCreateThreads(int count) { failThreads.store(count); }

void SetWindowsDirectory(const std::string& path) {
  std::lock_guard<std::mutex> lock(windowsDirectoryMutex);
  windowsDirectory = path;
}

void SetVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build) {
  std::lock_guard<std::mutex> lock(versionMutex);
  version = Version{platformId, major, minor, build};
}

bool LegacyFamily() {
  std::lock_guard<std::mutex> lock(versionMutex);
  return version.platformId == VER_PLATFORM_WIN32_WINDOWS;
}

void Reset() {
  sim_internal::ResetHandles();
  sim_internal::ResetConsole();
  sim_internal::ResetSync();
  sim_internal::ResetDevices();
  sim_internal::ResetMemory();
  sim_internal::ResetWindows();
  sim_internal::ResetSystem();
  sim_internal::ResetModules();
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

std::wstring Utf16(const std::string& utf8) {
  std::wstring out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    uint32_t c = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    for (size_t k = 1; k < length && i + k < utf8.size(); ++k) c = (c << 6) | (utf8[i + k] & 0x3F);
    i += length;
    if (c >= 0x10000) {
      out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<wchar_t>(c);
    }
  }
  return out;
}

}  // namespace sim

// The host's clock as Windows counts it: 100 ns units since 1601-01-01 UTC.
void GetSystemTimeAsFileTime(LPFILETIME time) {
  const auto sinceUnix = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  const uint64_t units = static_cast<uint64_t>(sinceUnix.count() / 100) + 116444736000000000ull;
  time->dwLowDateTime = static_cast<DWORD>(units);
  time->dwHighDateTime = static_cast<DWORD>(units >> 32);
}
