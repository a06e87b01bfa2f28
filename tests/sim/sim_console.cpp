// The standard handles of the simulated process: fixed values outside the
// handle table, so CloseHandle and the open-handle counts never see them.
#include "sim_control.h"
#include "sim_internal.h"
#include "sim_win32.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

HANDLE const kInput = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7FFF0010));
HANDLE const kOutput = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7FFF0011));
HANDLE const kError = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7FFF0012));

std::mutex consoleMutex;
std::string written[2];    // standard output, standard error
std::string typed;         // what is still to be read from the console
bool inputIsConsole = false;
PHANDLER_ROUTINE handler = nullptr;

}  // namespace

namespace sim_internal {

void ResetConsole() {
  std::lock_guard<std::mutex> lock(consoleMutex);
  written[0].clear();
  written[1].clear();
  typed.clear();
  inputIsConsole = false;
  handler = nullptr;
}

bool ConsoleRead(HANDLE handle, void* buffer, DWORD toRead, DWORD* read) {
  if (handle != kInput) return false;
  std::lock_guard<std::mutex> lock(consoleMutex);
  const DWORD count = static_cast<DWORD>(std::min<size_t>(toRead, typed.size()));
  std::memcpy(buffer, typed.data(), count);
  typed.erase(0, count);
  if (read != nullptr) *read = count;
  return true;
}

bool ConsoleWrite(HANDLE handle, const void* buffer, DWORD toWrite, DWORD* done) {
  if (handle != kOutput && handle != kError) return false;
  std::lock_guard<std::mutex> lock(consoleMutex);
  written[handle == kOutput ? 0 : 1].append(static_cast<const char*>(buffer), toWrite);
  if (done != nullptr) *done = toWrite;
  return true;
}

}  // namespace sim_internal

UINT SetErrorMode(UINT mode) {
  static UINT current = 0;  // no box of its own is ever shown in the simulation
  const UINT previous = current;
  current = mode;
  return previous;
}

HANDLE GetStdHandle(DWORD which) {
  if (which == STD_INPUT_HANDLE) return kInput;
  if (which == STD_OUTPUT_HANDLE) return kOutput;
  if (which == STD_ERROR_HANDLE) return kError;
  SetLastError(ERROR_INVALID_HANDLE);
  return INVALID_HANDLE_VALUE;
}

BOOL GetConsoleMode(HANDLE console, LPDWORD mode) {
  std::lock_guard<std::mutex> lock(consoleMutex);
  if (console == kInput && inputIsConsole) {
    *mode = 0x7;  // line input, echo, processed input
    return TRUE;
  }
  SetLastError(ERROR_INVALID_HANDLE);  // a pipe, as Windows answers for one
  return FALSE;
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE routine, BOOL add) {
  std::lock_guard<std::mutex> lock(consoleMutex);
  if (add) {
    handler = routine;
  } else if (handler == routine) {
    handler = nullptr;
  }
  return TRUE;
}

namespace sim {

std::string StdOut() {
  std::lock_guard<std::mutex> lock(consoleMutex);
  return written[0];
}

std::string StdErr() {
  std::lock_guard<std::mutex> lock(consoleMutex);
  return written[1];
}

void TypeIntoConsole(const std::string& text) {
  std::lock_guard<std::mutex> lock(consoleMutex);
  inputIsConsole = true;
  typed += text;
}

bool PressCtrlC() {
  PHANDLER_ROUTINE routine = nullptr;
  {
    std::lock_guard<std::mutex> lock(consoleMutex);
    routine = handler;
  }
  return routine != nullptr && routine(CTRL_C_EVENT) != FALSE;
}

}  // namespace sim

