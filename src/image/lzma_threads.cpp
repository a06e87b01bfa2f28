// liblzma's Windows 95 threads start with the C runtime's _beginthreadex,
// which the C runtime of the first Windows 95 release may lack, so the
// program does not import it: the import's pointer is defined here and
// finds the function at the first call, or starts the thread with
// CreateThread, which that runtime's per-thread data also follows.
#ifdef _WIN32
#include "win_api.h"

#include <cstdint>

namespace {

typedef unsigned(__stdcall* ThreadStart)(void*);
typedef uintptr_t(__cdecl* BeginThreadEx)(void*, unsigned, ThreadStart, void*, unsigned, unsigned*);

uintptr_t __cdecl StartThread(void* security, unsigned stack, ThreadStart start, void* argument, unsigned flags,
                              unsigned* id) {
  DWORD threadId = 0;
  HANDLE thread = CreateThread(static_cast<LPSECURITY_ATTRIBUTES>(security), stack,
                               reinterpret_cast<LPTHREAD_START_ROUTINE>(start), argument, flags, &threadId);
  if (id != nullptr) *id = threadId;
  return reinterpret_cast<uintptr_t>(thread);
}

uintptr_t __cdecl FindBeginThreadEx(void* security, unsigned stack, ThreadStart start, void* argument, unsigned flags,
                                    unsigned* id);

}  // namespace

// The name the compiler gives the import of _beginthreadex.
extern "C" {
BeginThreadEx _imp___beginthreadex = FindBeginThreadEx;
}

namespace {

uintptr_t __cdecl FindBeginThreadEx(void* security, unsigned stack, ThreadStart start, void* argument, unsigned flags,
                                    unsigned* id) {
  HMODULE runtime = GetModuleHandleA("msvcrt.dll");
  BeginThreadEx found = runtime != nullptr ? FindFunction<BeginThreadEx>(runtime, "_beginthreadex") : nullptr;
  // Every thread that gets here finds the same answer, so the store may race.
  _imp___beginthreadex = found != nullptr ? found : StartThread;
  return _imp___beginthreadex(security, stack, start, argument, flags, id);
}

}  // namespace
#endif
