// Placeholder until the register-level driver lands: the driver is absent.
#include "sim_vwin32.h"

bool SimVwin32Open() { SetLastError(ERROR_FILE_NOT_FOUND); return false; }
BOOL SimVwin32Ioctl(DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD) { SetLastError(ERROR_INVALID_HANDLE); return FALSE; }
void SimVwin32Reset() {}
