#include "online/update_check.h"

#include "online/online_texts.h"
#include "online/os_tag.h"
#include "online/text_search.h"
#include "online/winsock_calls.h"

#include <cstdio>
#include <cstring>

namespace {

// How the exchange ended, before the reply's tags are looked at.
enum class Exchange { NoReply, CutShort, Complete };

// The one clock of an exchange: every wait takes what is left of the deadline.
struct Deadline {
  DWORD start;
  void (*whileWaiting)();
};

DWORD RemainingMs(const Deadline& deadline) {
  const DWORD spent = GetTickCount() - deadline.start;
  return spent >= kExchangeDeadlineMs ? 0 : kExchangeDeadlineMs - spent;
}

bool StartsWithNoCase(const char* text, const char* prefix) {
  for (uint32_t i = 0; prefix[i] != '\0'; ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
    if (c != prefix[i]) return false;
  }
  return true;
}

// Waits one slice for the socket to become readable (connected, for a connect
// in progress), then lets the window answer. 1: ready, 0: not yet, -1: failed
// or out of time.
int32_t WaitSlice(const WinsockCalls& ws, SOCKET s, bool connecting, const Deadline& deadline) {
  const DWORD remaining = RemainingMs(deadline);
  if (remaining == 0) return -1;
  const DWORD sliceMs = remaining < kWaitSliceMs ? remaining : kWaitSliceMs;
  timeval bound = {0, static_cast<long>(sliceMs * 1000)};
  fd_set wanted;
  fd_set failed;
  FD_ZERO(&wanted);
  FD_ZERO(&failed);
  FD_SET(s, &wanted);
  FD_SET(s, &failed);
  const int ready = connecting ? ws.wait(0, nullptr, &wanted, &failed, &bound)
                               : ws.wait(0, &wanted, nullptr, &failed, &bound);
  if (deadline.whileWaiting != nullptr) deadline.whileWaiting();
  if (ready == SOCKET_ERROR) return -1;
  if (ready == 0) return 0;
  if (!connecting) return 1;
  // A failed connect shows only in the exception set; asking again for the
  // write set alone tells the two apart without looking inside the sets.
  timeval now = {0, 0};
  FD_ZERO(&wanted);
  FD_SET(s, &wanted);
  return ws.wait(0, nullptr, &wanted, nullptr, &now) > 0 ? 1 : -1;
}

// Connects, sends the request and reads the reply into buffer until the server
// closes the connection, the buffer is full or the deadline has passed. The
// socket stays non-blocking throughout, so no single call outlasts the deadline.
Exchange Converse(const WinsockCalls& ws, SOCKET s, const sockaddr_in& server, char* buffer, int32_t requestLength,
                  int32_t* received, const Deadline& deadline) {
  u_long nonBlocking = 1;
  if (ws.control(s, FIONBIO, &nonBlocking) == SOCKET_ERROR) return Exchange::NoReply;
  if (ws.connect(s, reinterpret_cast<const sockaddr*>(&server), sizeof(server), nullptr, nullptr, nullptr,
                 nullptr) == SOCKET_ERROR) {
    if (ws.lastError() != WSAEWOULDBLOCK) return Exchange::NoReply;
    int32_t connected = 0;
    while (connected == 0) connected = WaitSlice(ws, s, true, deadline);
    if (connected < 0) return Exchange::NoReply;
  }
  ws.send(s, buffer, requestLength, 0);  // a lost request shows up as an empty reply

  int32_t count = 0;
  Exchange end = Exchange::CutShort;
  while (count < static_cast<int32_t>(kReplyBufferBytes)) {
    const int32_t ready = WaitSlice(ws, s, false, deadline);
    if (ready < 0) break;  // out of time: what came so far is all there is
    if (ready == 0) continue;
    const int got = ws.receive(s, buffer + count, static_cast<int>(kReplyBufferBytes) - count, 0);
    if (got > 0) {
      count += got;
      continue;
    }
    if (got == 0) end = Exchange::Complete;  // the server closed: the reply is whole
    if (got == 0 || ws.lastError() != WSAEWOULDBLOCK) break;
  }
  if (count == static_cast<int32_t>(kReplyBufferBytes)) end = Exchange::Complete;  // all that is ever read
  if (count < static_cast<int32_t>(kReplyBufferBytes)) buffer[count] = '\0';
  *received = count;
  return count == 0 ? Exchange::NoReply : end;
}

// Looks at the reply and shows the update prompt or the no-updates message.
// False when the reply holds no `new` value (not understood), or when a reply
// cut short says there is an update but its link did not arrive whole.
bool AnswerReply(const char* reply, int32_t length, bool whole, char* value, HWND ownerWindow) {
  memset(value, 0, kValueBufferBytes);
  if (!ExtractTagValue(reply, kUpdateFlagTag, length, value, kValueBufferBytes)) return false;
  const bool update = CompareNoCase(value, kUpdateFlagTrue) == 0;
  const bool linked = update && ExtractTagValue(reply, kUpdateLinkTag, length, value, kValueBufferBytes);
  if (update && !linked && !whole) return false;
  if (!update || !linked || !IsWebLink(value)) {
    MessageBoxA(ownerWindow, kNoUpdatesText, kNoUpdatesCaption, MB_ICONINFORMATION);
    return true;
  }
  if (MessageBoxA(ownerWindow, kUpdateAvailableText, kUpdateAvailableCaption, MB_YESNO | MB_ICONINFORMATION) ==
      IDYES) {
    ShellExecuteA(ownerWindow, kShellVerbOpen, value, nullptr, nullptr, SW_SHOWNORMAL);
  }
  return true;
}

}  // namespace

bool IsWebLink(const char* link) {
  uint32_t schemeLength = 0;
  if (StartsWithNoCase(link, "http://")) {
    schemeLength = 7;
  } else if (StartsWithNoCase(link, "https://")) {
    schemeLength = 8;
  } else {
    return false;
  }
  if (link[schemeLength] == '\0' || link[schemeLength] == '/') return false;  // no host
  for (uint32_t i = schemeLength; link[i] != '\0'; ++i) {
    const uint8_t c = static_cast<uint8_t>(link[i]);
    // A space or quote could end the URL inside the browser's command line.
    if (c <= 0x20 || c == 0x7F || c == '"') return false;
  }
  return true;
}

void CheckForUpdates(const char* programName, const char* version, HWND ownerWindow, uint8_t startNetworking,
                     void (*whileWaiting)()) {
  const Deadline deadline = {GetTickCount(), whileWaiting};
  WinsockCalls ws;
  if (!LoadWinsock(&ws)) {
    MessageBoxA(ownerWindow, kConnectFailedText, kConnectFailedCaption, MB_ICONERROR);
    return;
  }
  if (startNetworking) {
    WSADATA networking;
    if (ws.startup(MAKEWORD(2, 0), &networking) != 0) {
      UnloadWinsock(&ws);
      MessageBoxA(ownerWindow, kConnectFailedText, kConnectFailedCaption, MB_ICONERROR);
      return;
    }
  }
  const hostent* host = ws.lookUp(kServerHost);
  if (host == nullptr || host->h_addr_list == nullptr || host->h_addr_list[0] == nullptr) {
    if (startNetworking) ws.cleanup();
    UnloadWinsock(&ws);
    MessageBoxA(ownerWindow, kConnectFailedText, kConnectFailedCaption, MB_ICONERROR);
    return;
  }
  sockaddr_in server;
  memset(&server, 0, sizeof(server));
  server.sin_family = AF_INET;
  // Network byte order, written byte by byte (htons is one more import).
  uint8_t* port = reinterpret_cast<uint8_t*>(&server.sin_port);
  port[0] = static_cast<uint8_t>(kServerPort >> 8);
  port[1] = static_cast<uint8_t>(kServerPort & 0xFF);
  memcpy(&server.sin_addr, host->h_addr_list[0], 4);

  bool understood = false;
  char* buffer = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, kReplyBufferBytes));
  char* value = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, kValueBufferBytes));
  if (buffer != nullptr && value != nullptr) {
    BuildOsVersionTag();
    const int requestLength = snprintf(buffer, kReplyBufferBytes, kUpdateRequestFormat, programName, version, osTag);
    SOCKET s = INVALID_SOCKET;
    if (requestLength > 0 && requestLength < static_cast<int>(kReplyBufferBytes)) {
      s = ws.openSocket(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    }
    int32_t received = 0;
    Exchange exchange = Exchange::NoReply;
    if (s != INVALID_SOCKET) {
      exchange = Converse(ws, s, server, buffer, requestLength, &received, deadline);
      // Closed before any message box, so no connection waits on the user.
      ws.closeSocket(s);
    }
    if (exchange != Exchange::NoReply) {
      understood = AnswerReply(buffer, received, exchange == Exchange::Complete, value, ownerWindow);
    }
  }
  if (buffer != nullptr) HeapFree(GetProcessHeap(), 0, buffer);
  if (value != nullptr) HeapFree(GetProcessHeap(), 0, value);
  if (startNetworking) ws.cleanup();
  UnloadWinsock(&ws);
  if (!understood) MessageBoxA(ownerWindow, kConnectFailedText, kConnectFailedCaption, MB_ICONERROR);
}
