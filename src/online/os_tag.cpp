// The operating-system name sent with the update check and the tagged web
// links, already escaped for a URL query.
#include "online/os_tag.h"

#include "win_api.h"

#include <cstdio>
#include <cstring>

char osTag[kOsTagBytes];  // the URL-escaped OS name; written by BuildOsVersionTag, main thread

void BuildOsVersionTag() {
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  // A failed query leaves zeros: platform 0 names the oldest system, which is harmless.
  GetVersionExA(&version);

  switch (version.dwPlatformId) {
    case VER_PLATFORM_WIN32_NT:
      snprintf(osTag, sizeof(osTag), kOsTagNtFormat, static_cast<int>(version.dwMajorVersion),
               static_cast<int>(version.dwMinorVersion));
      break;
    case VER_PLATFORM_WIN32_WINDOWS:
      // The legacy family reports 95 as 4.0, 98 as 4.10 and Me as 4.90; the
      // single-digit forms 1 and 9 are kept for the server's sake.
      if (version.dwMinorVersion == 0 || version.dwMinorVersion == 1) {
        snprintf(osTag, sizeof(osTag), "%s", kOsTag95);
      } else if (version.dwMinorVersion == 90 || version.dwMinorVersion == 9) {
        snprintf(osTag, sizeof(osTag), "%s", kOsTagMe);
      } else {
        snprintf(osTag, sizeof(osTag), "%s", kOsTag98);
      }
      break;
    default:
      snprintf(osTag, sizeof(osTag), "%s", kOsTagOther);
      break;
  }
}
