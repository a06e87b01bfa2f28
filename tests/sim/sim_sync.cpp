// Simulated events, critical sections and waits on events and thread handles.
#include "sim_internal.h"

#include <condition_variable>
#include <memory>

namespace {

struct Waitable {
  std::mutex mutex;
  std::condition_variable changed;
  bool manualReset = false;
  bool signalled = false;
};

std::mutex tableMutex;  // guards waitables
std::map<uintptr_t, std::shared_ptr<Waitable>> waitables;

std::shared_ptr<Waitable> FindWaitable(HANDLE handle) {
  std::lock_guard<std::mutex> lock(tableMutex);
  auto it = waitables.find(reinterpret_cast<uintptr_t>(handle));
  return it == waitables.end() ? nullptr : it->second;
}

}  // namespace

namespace sim_internal {

void AddWaitable(HANDLE handle, bool manualReset, bool signalled) {
  auto waitable = std::make_shared<Waitable>();
  waitable->manualReset = manualReset;
  waitable->signalled = signalled;
  std::lock_guard<std::mutex> lock(tableMutex);
  waitables[reinterpret_cast<uintptr_t>(handle)] = waitable;
}

void SignalWaitable(HANDLE handle) {
  std::shared_ptr<Waitable> waitable = FindWaitable(handle);
  if (waitable == nullptr) return;
  std::lock_guard<std::mutex> lock(waitable->mutex);
  waitable->signalled = true;
  waitable->changed.notify_all();
}

void ResetSync() {
  std::lock_guard<std::mutex> lock(tableMutex);
  waitables.clear();
}

}  // namespace sim_internal

void InitializeCriticalSection(LPCRITICAL_SECTION section) { section->impl = new std::recursive_mutex; }
void EnterCriticalSection(LPCRITICAL_SECTION section) { static_cast<std::recursive_mutex*>(section->impl)->lock(); }
void LeaveCriticalSection(LPCRITICAL_SECTION section) { static_cast<std::recursive_mutex*>(section->impl)->unlock(); }
void DeleteCriticalSection(LPCRITICAL_SECTION section) {
  delete static_cast<std::recursive_mutex*>(section->impl);
  section->impl = nullptr;
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR) {
  HANDLE handle = sim_internal::RegisterEventHandle();
  sim_internal::AddWaitable(handle, manualReset != FALSE, initialState != FALSE);
  return handle;
}

BOOL SetEvent(HANDLE event) {
  if (!sim_internal::HandleOpen(event) || FindWaitable(event) == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  sim_internal::SignalWaitable(event);
  return TRUE;
}

BOOL ResetEvent(HANDLE event) {
  std::shared_ptr<Waitable> waitable = sim_internal::HandleOpen(event) ? FindWaitable(event) : nullptr;
  if (waitable == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(waitable->mutex);
  waitable->signalled = false;
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  std::shared_ptr<Waitable> waitable = sim_internal::HandleOpen(object) ? FindWaitable(object) : nullptr;
  if (waitable == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  std::unique_lock<std::mutex> lock(waitable->mutex);
  const auto ready = [&] { return waitable->signalled; };
  if (milliseconds == INFINITE) {
    waitable->changed.wait(lock, ready);
  } else if (!waitable->changed.wait_for(lock, std::chrono::milliseconds(milliseconds), ready)) {
    return WAIT_TIMEOUT;
  }
  if (!waitable->manualReset) waitable->signalled = false;
  return WAIT_OBJECT_0;
}

void GetSystemInfo(LPSYSTEM_INFO info) {
  *info = SYSTEM_INFO{};
  info->dwPageSize = 4096;
  info->dwAllocationGranularity = 65536;
  info->dwNumberOfProcessors = 2;
}
