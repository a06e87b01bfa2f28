#include "online/winsock_calls.h"

#include <cstring>

bool LoadWinsock(WinsockCalls* calls) {
  memset(calls, 0, sizeof(*calls));
  calls->library = LoadLibraryA("WS2_32.DLL");
  if (calls->library == nullptr) return false;
  HMODULE l = calls->library;
  calls->startup = FindFunction<decltype(calls->startup)>(l, "WSAStartup");
  calls->cleanup = FindFunction<decltype(calls->cleanup)>(l, "WSACleanup");
  calls->lastError = FindFunction<decltype(calls->lastError)>(l, "WSAGetLastError");
  calls->lookUp = FindFunction<decltype(calls->lookUp)>(l, "gethostbyname");
  calls->openSocket = FindFunction<decltype(calls->openSocket)>(l, "WSASocketA");
  calls->connect = FindFunction<decltype(calls->connect)>(l, "WSAConnect");
  calls->send = FindFunction<decltype(calls->send)>(l, "send");
  calls->receive = FindFunction<decltype(calls->receive)>(l, "recv");
  calls->closeSocket = FindFunction<decltype(calls->closeSocket)>(l, "closesocket");
  calls->control = FindFunction<decltype(calls->control)>(l, "ioctlsocket");
  calls->wait = FindFunction<decltype(calls->wait)>(l, "select");
  if (calls->startup && calls->cleanup && calls->lastError && calls->lookUp && calls->openSocket &&
      calls->connect && calls->send && calls->receive && calls->closeSocket && calls->control && calls->wait) {
    return true;
  }
  UnloadWinsock(calls);
  return false;
}

void UnloadWinsock(WinsockCalls* calls) {
  if (calls->library != nullptr) FreeLibrary(calls->library);
  memset(calls, 0, sizeof(*calls));
}
