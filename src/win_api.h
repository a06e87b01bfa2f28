// The one place that pulls in the Windows API. On Windows it is the real
// thing; natively it is the simulated Win32 layer the host tests run against.
#pragma once

#ifdef _WIN32
#  include <winsock2.h>
#  include <windows.h>
#  include <winioctl.h>
#  include <commctrl.h>
#  include <commdlg.h>
#  include <shellapi.h>
#else
#  include "sim_win32.h"
#endif
