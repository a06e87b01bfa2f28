#include "app/start_up.h"

#include "app/app_state.h"
#include "app/app_texts.h"
#include "disk/legacy_sectors.h"
#include "imaging/job_state.h"

#include <cstdio>

bool PrepareProcessState(HINSTANCE instance) {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  GetVersionExA(&version);
  jobState.platformClass =
      version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? kPlatformLegacy : kPlatformNt;
  if (jobState.platformClass == kPlatformLegacy) OpenVwin32();

  jobState.statusText = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, kStatusTextBytes));
  if (jobState.statusText == nullptr) {
    MessageBoxA(nullptr, TEXT_OUT_OF_MEMORY, CAPTION_OUT_OF_MEMORY, MB_ICONERROR);
    return false;
  }
  jobState.tickCount.store(0);
  jobState.bytesDone.store(0.0);
  WriteStatusText(STATUS_PROMPT_WRITE);
  imagePath[0] = '\0';
  imagePathWide[0] = L'\0';
  jobState.cancelRequested.store(0);
  // Each %c with a zero character writes a NUL, which separates the filter
  // pairs; the terminating NUL of the text makes the list end in two.
  std::snprintf(fileFilter, sizeof(fileFilter), FORMAT_FILE_FILTER, 0, 0, 0, 0, 0, 0, 0);
  std::snprintf(createFileFilter, sizeof(createFileFilter), FORMAT_CREATE_FILE_FILTER, 0, 0, 0, 0, 0, 0, 0);
  moduleInstance = instance;
  return true;
}
