// Simulated memory services: counted blocks and scripted exhaustion.
#include "sim_internal.h"

#include <cstdlib>
#include <cstring>
#include <set>

namespace {

std::mutex memoryMutex;                  // guards everything below
std::set<void*> virtualBlocks;           // live VirtualAlloc blocks of the current test
std::set<void*> earlierVirtualBlocks;    // live blocks from before the last Reset: still freeable, not counted
std::map<void*, void*> heapBlocks;       // live HeapAlloc blocks (returned address -> real allocation)
std::map<void*, void*> earlierHeapBlocks;  // same, from before the last Reset
int failVirtual = 0;                     // VirtualAlloc calls still to fail
int passVirtual = 0;                     // VirtualAlloc calls still to succeed before those fail
int failHeap = 0;                        // HeapAlloc calls still to fail
int processHeap = 0;                     // its address is the process heap handle

// Heap blocks sit 16 bytes past a 512-byte boundary, as heap headers leave them on
// Windows, so a heap buffer never passes for a sector-aligned one by chance.
constexpr size_t kHeapSkew = 16;

}  // namespace

namespace sim_internal {

void ResetMemory() {
  std::lock_guard<std::mutex> lock(memoryMutex);
  earlierVirtualBlocks.insert(virtualBlocks.begin(), virtualBlocks.end());
  virtualBlocks.clear();
  earlierHeapBlocks.insert(heapBlocks.begin(), heapBlocks.end());
  heapBlocks.clear();
  failVirtual = 0;
  passVirtual = 0;
  failHeap = 0;
}

}  // namespace sim_internal

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD) {
  std::unique_lock<std::mutex> lock(memoryMutex);
  if (passVirtual > 0) {
    --passVirtual;
  } else if (failVirtual > 0) {
    --failVirtual;
    lock.unlock();
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (address != nullptr || size == 0 || (type & MEM_COMMIT) == 0) {
    lock.unlock();
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const size_t rounded = (size + 4095) / 4096 * 4096;
  void* block = std::aligned_alloc(4096, rounded);
  if (block == nullptr) {
    lock.unlock();
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::memset(block, 0, rounded);  // committed pages read as zeros
  virtualBlocks.insert(block);
  return block;
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
  std::unique_lock<std::mutex> lock(memoryMutex);
  if (type != MEM_RELEASE || size != 0) {
    lock.unlock();
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (virtualBlocks.erase(address) == 0 && earlierVirtualBlocks.erase(address) == 0) {
    lock.unlock();
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  std::free(address);
  return TRUE;
}

HANDLE GetProcessHeap() { return &processHeap; }

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
  std::unique_lock<std::mutex> lock(memoryMutex);
  if (heap != &processHeap) {
    lock.unlock();
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (failHeap > 0) {
    --failHeap;
    lock.unlock();
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  const size_t total = (size + kHeapSkew + 511) / 512 * 512;
  void* real = std::aligned_alloc(512, total);
  if (real == nullptr) {
    lock.unlock();
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  uint8_t* block = static_cast<uint8_t*>(real) + kHeapSkew;
  if ((flags & HEAP_ZERO_MEMORY) != 0) std::memset(block, 0, size);
  heapBlocks.emplace(block, real);
  return block;
}

BOOL HeapFree(HANDLE heap, DWORD, LPVOID memory) {
  std::unique_lock<std::mutex> lock(memoryMutex);
  if (heap != &processHeap) {
    lock.unlock();
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (memory == nullptr) return TRUE;
  auto it = heapBlocks.find(memory);
  std::map<void*, void*>* owner = &heapBlocks;
  if (it == heapBlocks.end()) {
    it = earlierHeapBlocks.find(memory);
    owner = &earlierHeapBlocks;
  }
  if (it == owner->end()) {
    lock.unlock();
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::free(it->second);
  owner->erase(it);
  return TRUE;
}

namespace sim {

int LiveVirtualAllocs() {
  std::lock_guard<std::mutex> lock(memoryMutex);
  return static_cast<int>(virtualBlocks.size());
}

int LiveHeapAllocs() {
  std::lock_guard<std::mutex> lock(memoryMutex);
  return static_cast<int>(heapBlocks.size());
}

void FailVirtualAllocs(int count) { FailVirtualAllocsAfter(0, count); }

void FailVirtualAllocsAfter(int succeeding, int count) {
  std::lock_guard<std::mutex> lock(memoryMutex);
  passVirtual = succeeding;
  failVirtual = count;
}

void FailHeapAllocs(int count) {
  std::lock_guard<std::mutex> lock(memoryMutex);
  failHeap = count;
}

}  // namespace sim
