// Winsock 2 reached at run time: WS2_32.DLL is an add-on on the first release
// of the legacy family, and a static import of it would stop the program from
// loading there at all.
#pragma once

#include "win_api.h"

// The Winsock functions the update check calls, found in WS2_32.DLL.
struct WinsockCalls {
  HMODULE library;
  int(WINAPI* startup)(WORD, LPWSADATA);
  int(WINAPI* cleanup)();
  int(WINAPI* lastError)();
  hostent*(WINAPI* lookUp)(const char*);
  SOCKET(WINAPI* openSocket)(int, int, int, LPWSAPROTOCOL_INFOA, GROUP, DWORD);
  int(WINAPI* connect)(SOCKET, const sockaddr*, int, LPWSABUF, LPWSABUF, LPQOS, LPQOS);
  int(WINAPI* send)(SOCKET, const char*, int, int);
  int(WINAPI* receive)(SOCKET, char*, int, int);
  int(WINAPI* closeSocket)(SOCKET);
  int(WINAPI* control)(SOCKET, long, u_long*);
  int(WINAPI* wait)(int, fd_set*, fd_set*, fd_set*, const timeval*);
};

// Loads WS2_32.DLL and finds every function. False, with nothing loaded, when
// the library or any of the functions is missing.
bool LoadWinsock(WinsockCalls* calls);

// Lets the library go again.
void UnloadWinsock(WinsockCalls* calls);
