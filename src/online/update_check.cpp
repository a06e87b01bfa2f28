#include "online/update_check.h"

#include "online/online_texts.h"
#include "online/os_tag.h"
#include "online/text_search.h"

#include <cstdio>
#include <cstring>

namespace {

// How the exchange ended, before the reply's tags are looked at.
enum class Exchange { NoReply, Reply };

bool StartsWithNoCase(const char* text, const char* prefix) {
  for (uint32_t i = 0; prefix[i] != '\0'; ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
    if (c != prefix[i]) return false;
  }
  return true;
}

// Connects with the bound: a non-blocking connect, then select for at most
// kNetworkTimeoutMs, then back to blocking with every receive bounded too.
bool ConnectBounded(SOCKET s, const sockaddr_in& server) {
  u_long nonBlocking = 1;
  if (ioctlsocket(s, FIONBIO, &nonBlocking) == SOCKET_ERROR) return false;
  if (WSAConnect(s, reinterpret_cast<const sockaddr*>(&server), sizeof(server), nullptr, nullptr, nullptr,
                 nullptr) == SOCKET_ERROR) {
    if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval bound = {static_cast<long>(kNetworkTimeoutMs / 1000), 0};
    if (select(0, nullptr, &writable, &failed, &bound) <= 0) return false;  // silent or broken
    if (FD_ISSET(s, &failed) || !FD_ISSET(s, &writable)) return false;
  }
  u_long blocking = 0;
  if (ioctlsocket(s, FIONBIO, &blocking) == SOCKET_ERROR) return false;
  const DWORD receiveBound = kNetworkTimeoutMs;
  return setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receiveBound),
                    sizeof(receiveBound)) != SOCKET_ERROR;
}

// Sends the request and reads the reply into buffer until the server closes the
// connection or the buffer is full. A receive that times out loses the whole
// reply: a cut-off reply could carry a cut-off link.
Exchange Converse(SOCKET s, char* buffer, int32_t requestLength, int32_t* received) {
  send(s, buffer, requestLength, 0);  // a lost request shows up as an empty reply
  int32_t count = 0;
  while (count < static_cast<int32_t>(kReplyBufferBytes)) {
    const int got = recv(s, buffer + count, static_cast<int>(kReplyBufferBytes) - count, 0);
    if (got > 0) {
      count += got;
      continue;
    }
    if (got == SOCKET_ERROR && WSAGetLastError() == WSAETIMEDOUT) return Exchange::NoReply;
    break;
  }
  if (count < static_cast<int32_t>(kReplyBufferBytes)) buffer[count] = '\0';
  *received = count;
  return count == 0 ? Exchange::NoReply : Exchange::Reply;
}

// Looks at the reply and shows the update prompt or the no-updates message.
// False when the reply holds no `new` value (not understood).
bool AnswerReply(const char* reply, int32_t length, char* value, HWND ownerWindow) {
  memset(value, 0, kValueBufferBytes);
  if (!ExtractTagValue(reply, kUpdateFlagTag, length, value, kValueBufferBytes)) return false;
  if (CompareNoCase(value, kUpdateFlagTrue) != 0 ||
      !ExtractTagValue(reply, kUpdateLinkTag, length, value, kValueBufferBytes) || !IsWebLink(value)) {
    MessageBoxA(ownerWindow, kNoUpdatesText, kNoUpdatesCaption, MB_ICONINFORMATION);
    return true;
  }
  if (MessageBoxA(ownerWindow, kUpdateAvailableText, kUpdateAvailableCaption, MB_YESNO | MB_ICONINFORMATION) ==
      IDYES) {
    ShellExecuteA(ownerWindow, kShellVerbOpen, value, nullptr, nullptr, SW_HIDE);
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

void CheckForUpdates(const char* programName, const char* version, HWND ownerWindow, uint8_t startNetworking) {
  if (startNetworking) {
    WSADATA networking;
    if (WSAStartup(MAKEWORD(2, 0), &networking) != 0) {
      MessageBoxA(ownerWindow, kConnectFailedText, kConnectFailedCaption, MB_ICONERROR);
      return;
    }
  }
  const hostent* host = gethostbyname(kServerHost);
  if (host == nullptr || host->h_addr_list == nullptr || host->h_addr_list[0] == nullptr) {
    if (startNetworking) WSACleanup();
    MessageBoxA(ownerWindow, kConnectFailedText, kConnectFailedCaption, MB_ICONERROR);
    return;
  }
  sockaddr_in server;
  memset(&server, 0, sizeof(server));
  server.sin_family = AF_INET;
  server.sin_port = htons(kServerPort);
  memcpy(&server.sin_addr, host->h_addr_list[0], 4);

  bool understood = false;
  char* buffer = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, kReplyBufferBytes));
  char* value = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, kValueBufferBytes));
  if (buffer != nullptr && value != nullptr) {
    BuildOsVersionTag();
    const int requestLength = snprintf(buffer, kReplyBufferBytes, kUpdateRequestFormat, programName, version, osTag);
    SOCKET s = INVALID_SOCKET;
    if (requestLength > 0 && requestLength < static_cast<int>(kReplyBufferBytes)) {
      s = WSASocketA(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    }
    int32_t received = 0;
    Exchange exchange = Exchange::NoReply;
    if (s != INVALID_SOCKET) {
      if (ConnectBounded(s, server)) exchange = Converse(s, buffer, requestLength, &received);
      // Closed before any message box, so no connection waits on the user.
      closesocket(s);
    }
    if (exchange == Exchange::Reply) understood = AnswerReply(buffer, received, value, ownerWindow);
  }
  if (buffer != nullptr) HeapFree(GetProcessHeap(), 0, buffer);
  if (value != nullptr) HeapFree(GetProcessHeap(), 0, value);
  if (startNetworking) WSACleanup();
  if (!understood) MessageBoxA(ownerWindow, kConnectFailedText, kConnectFailedCaption, MB_ICONERROR);
}
