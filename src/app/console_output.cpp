#include "app/console_output.h"

#include "imaging/job_state.h"

#include <cstdio>
#include <cstring>

namespace {

struct Stream {
  HANDLE handle = nullptr;
  bool console = false;  // a console, not a file or a pipe
};

Stream output;
Stream errors;
Stream input;
bool progressShown = false;   // a rewritten progress line is on the console; guarded
uint32_t progressWidth = 0;   // its length, so a shorter one covers it whole; guarded
uint32_t progressCalls = 0;   // redirected: calls since the last line; guarded
CRITICAL_SECTION guard;       // the worker's reports and the main thread's progress
typedef BOOL(WINAPI* WriteConsoleWFunction)(HANDLE, const void*, DWORD, LPDWORD, LPVOID);
WriteConsoleWFunction writeConsoleW = nullptr;

bool Usable(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

Stream Take(DWORD which) {
  Stream stream;
  stream.handle = GetStdHandle(which);
  DWORD mode = 0;
  stream.console = Usable(stream.handle) && GetConsoleMode(stream.handle, &mode) != FALSE;
  return stream;
}

void WriteBytes(const Stream& stream, const char* bytes, uint32_t length) {
  DWORD written = 0;
  while (length > 0 && WriteFile(stream.handle, bytes, length, &written, nullptr) != FALSE && written > 0) {
    bytes += written;
    length -= written;
  }
}

uint32_t WideLength(const wchar_t* text) {
  uint32_t length = 0;
  while (text[length] != L'\0') ++length;
  return length;
}

// A wide text, in the form the stream takes.
void WriteWide(const Stream& stream, const wchar_t* text) {
  if (!Usable(stream.handle) || text[0] == L'\0') return;
  const bool legacy = jobState.platformClass == kPlatformLegacy;
  if (stream.console && !legacy && writeConsoleW != nullptr) {
    DWORD written = 0;
    writeConsoleW(stream.handle, text, WideLength(text), &written, nullptr);
    return;
  }
  char bytes[kConsoleTextChars * 3];
  const UINT codePage = legacy ? (stream.console ? CP_OEMCP : CP_ACP) : CP_UTF8;
  const int converted = WideCharToMultiByte(codePage, 0, text, -1, bytes, static_cast<int>(sizeof(bytes)), nullptr, nullptr);
  if (converted > 1) WriteBytes(stream, bytes, static_cast<uint32_t>(converted - 1));
}

void EndProgressGuarded() {
  if (!progressShown) return;
  WriteWide(errors, L"\r\n");
  progressShown = false;
  progressWidth = 0;
}

}  // namespace

void OpenConsoleStreams() {
  // Once per process: a second initialisation of a live section leaks its first.
  static bool guardReady = false;
  if (!guardReady) InitializeCriticalSection(&guard);
  guardReady = true;
  HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
  writeConsoleW = FindFunction<WriteConsoleWFunction>(kernel, "WriteConsoleW");
  if (!Usable(GetStdHandle(STD_OUTPUT_HANDLE)) && !Usable(GetStdHandle(STD_ERROR_HANDLE))) {
    typedef BOOL(WINAPI * AttachConsoleFunction)(DWORD);
    const auto attach = FindFunction<AttachConsoleFunction>(kernel, "AttachConsole");
    if (attach != nullptr && attach(ATTACH_PARENT_PROCESS) != FALSE) {
      // The attached console's own handles, whether or not the system put them in the standard slots.
      output.handle = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
      errors = output;
      input.handle = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
      DWORD mode = 0;
      output.console = errors.console = Usable(output.handle) && GetConsoleMode(output.handle, &mode) != FALSE;
      input.console = Usable(input.handle) && GetConsoleMode(input.handle, &mode) != FALSE;
      return;
    }
  }
  output = Take(STD_OUTPUT_HANDLE);
  errors = Take(STD_ERROR_HANDLE);
  input = Take(STD_INPUT_HANDLE);
}

void PrintTextW(const wchar_t* text, bool toError) {
  EnterCriticalSection(&guard);
  EndProgressGuarded();
  const Stream& stream = toError ? errors : output;
  WriteWide(stream, text);
  WriteWide(stream, L"\r\n");
  LeaveCriticalSection(&guard);
}

void PrintText(const char* text, bool toError) {
  // Longer than any box's text: cut, never dropped.
  char cut[kConsoleTextChars];
  std::snprintf(cut, sizeof(cut), "%s", text);
  wchar_t wide[kConsoleTextChars];
  if (MultiByteToWideChar(CP_ACP, 0, cut, -1, wide, kConsoleTextChars) == 0) wide[0] = L'\0';
  PrintTextW(wide, toError);
}

void PrintProgress(const char* text) {
  wchar_t line[kStatusTextBytes + 4];
  line[0] = L'\r';
  uint32_t length = 1;
  for (; text[length - 1] != '\0' && length < kStatusTextBytes; ++length) {
    line[length] = static_cast<wchar_t>(static_cast<unsigned char>(text[length - 1]));
  }
  EnterCriticalSection(&guard);
  if (errors.console) {
    const uint32_t width = length - 1;
    // Spaces over the end of a longer line before.
    while (length - 1 < progressWidth && length < kStatusTextBytes) line[length++] = L' ';
    line[length] = L'\0';
    WriteWide(errors, line);
    progressShown = true;
    progressWidth = width;
  } else if (progressCalls++ % kProgressLineSeconds == 0) {
    line[length++] = L'\r';
    line[length++] = L'\n';
    line[length] = L'\0';
    WriteWide(errors, line + 1);
  }
  LeaveCriticalSection(&guard);
}

void EndProgress() {
  EnterCriticalSection(&guard);
  EndProgressGuarded();
  progressCalls = 0;
  LeaveCriticalSection(&guard);
}

bool ConsoleCanAsk() { return input.console; }

bool ReadYes() {
  char line[64];
  uint32_t used = 0;
  // A byte at a time: a console hands over the line once Enter is pressed.
  for (;;) {
    char c = 0;
    DWORD read = 0;
    if (ReadFile(input.handle, &c, 1, &read, nullptr) == FALSE || read == 0 || c == '\n') break;
    if (used + 1 < sizeof(line)) line[used++] = c;
  }
  line[used] = '\0';
  const char* start = line;
  while (*start == ' ' || *start == '\t') ++start;
  uint32_t end = static_cast<uint32_t>(std::strlen(start));
  while (end > 0 && (start[end - 1] == ' ' || start[end - 1] == '\t' || start[end - 1] == '\r')) --end;
  const char yes[] = "yes";
  if (end != 3) return false;
  for (uint32_t i = 0; i < 3; ++i) {
    if ((start[i] | 0x20) != yes[i]) return false;
  }
  return true;
}
