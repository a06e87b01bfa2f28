#include "online/update_check.h"

#include "online/online_texts.h"
#include "online/os_tag.h"
#include "online/text_search.h"
#include "online/winsock_calls.h"

#include <atomic>
#include <new>
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

// The host look-up, on a thread of its own: a name server that never answers
// must not hold the window past the deadline. The record belongs to whichever
// of the two lets go of it last; that one also ends the networking and lets
// the library go, so an abandoned look-up returns into a library still loaded.
struct LookUp {
  WinsockCalls ws;
  uint8_t startNetworking;
  std::atomic<int32_t> holders;  // 2 while both the check and the thread hold it
  uint8_t address[4];
  bool found;             // written by the thread before it lets go
};

void ReleaseLookUp(LookUp* lookUp) {
  if (lookUp->holders.fetch_sub(1) != 1) return;
  if (lookUp->startNetworking) lookUp->ws.cleanup();
  UnloadWinsock(&lookUp->ws);
  HeapFree(GetProcessHeap(), 0, lookUp);
}

DWORD WINAPI LookUpHost(LPVOID parameter) {
  LookUp* lookUp = static_cast<LookUp*>(parameter);
  // The answer is the thread's own (as Winsock keeps it per thread): copied before the thread ends.
  const hostent* host = lookUp->ws.lookUp(kServerHost);
  if (host != nullptr && host->h_addr_list != nullptr && host->h_addr_list[0] != nullptr && host->h_length == 4) {
    memcpy(lookUp->address, host->h_addr_list[0], 4);
    lookUp->found = true;
  }
  ReleaseLookUp(lookUp);
  return 0;
}

// Runs the look-up on its thread and waits for it in slices, letting the
// window answer between them, until the deadline. False when it failed or
// did not end in time (then abandoned).
bool AwaitLookUp(LookUp* lookUp, const Deadline& deadline) {
  lookUp->holders.fetch_add(1);
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, LookUpHost, lookUp, 0, &id);
  if (thread == nullptr) {
    lookUp->holders.fetch_sub(1);
    return false;
  }
  bool ended = false;
  for (DWORD remaining = RemainingMs(deadline); remaining > 0 && !ended; remaining = RemainingMs(deadline)) {
    ended = WaitForSingleObject(thread, remaining < kWaitSliceMs ? remaining : kWaitSliceMs) == WAIT_OBJECT_0;
    if (deadline.whileWaiting != nullptr) deadline.whileWaiting();
  }
  CloseHandle(thread);
  return ended && lookUp->found;
}

// The host part of a web link (IsWebLink holds): after the scheme and any
// user part, up to the port, path, query or fragment.
void LinkHost(const char* link, char* host, uint32_t hostBytes) {
  const char* start = std::strstr(link, "://") + 3;
  const char* end = start;
  while (*end != '\0' && *end != '/' && *end != '?' && *end != '#' && *end != '\\') ++end;
  for (const char* at = start; at < end; ++at) {
    if (*at == '@') start = at + 1;  // "user@host": the browser goes to the host
  }
  const char* portAt = start;
  while (portAt < end && *portAt != ':') ++portAt;
  const uint32_t length = static_cast<uint32_t>(portAt - start) < hostBytes - 1 ? static_cast<uint32_t>(portAt - start)
                                                                                 : hostBytes - 1;
  memcpy(host, start, length);
  host[length] = '\0';
}

// Whether the reply's status line says 200: "HTTP/x.y 200" and then a space or the line's end.
bool StatusIsOk(const char* reply, int32_t length) {
  if (length < 12 || !StartsWithNoCase(reply, "http/")) return false;
  int32_t at = 5;
  while (at < length && reply[at] != ' ' && reply[at] != '\r' && reply[at] != '\n') ++at;
  while (at < length && reply[at] == ' ') ++at;
  if (at + 3 > length || std::memcmp(reply + at, "200", 3) != 0) return false;
  return at + 3 == length || reply[at + 3] == ' ' || reply[at + 3] == '\r' || reply[at + 3] == '\n';
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
  if (!StatusIsOk(reply, length)) return false;  // an error page is no answer
  memset(value, 0, kValueBufferBytes);
  if (!ExtractTagValue(reply, kUpdateFlagTag, length, value, kValueBufferBytes)) return false;
  const bool update = CompareNoCase(value, kUpdateFlagTrue) == 0;
  const bool linked = update && ExtractTagValue(reply, kUpdateLinkTag, length, value, kValueBufferBytes);
  if (update && !linked && !whole) return false;
  if (!update || !linked || !IsWebLink(value)) {
    MessageBoxA(ownerWindow, kNoUpdatesText, kNoUpdatesCaption, MB_ICONINFORMATION);
    return true;
  }
  // The question names where Yes leads.
  char host[kValueBufferBytes];
  LinkHost(value, host, sizeof(host));
  char question[kValueBufferBytes + 160];
  snprintf(question, sizeof(question), kUpdateLinkHostFormat, kUpdateAvailableText, host);
  if (MessageBoxA(ownerWindow, question, kUpdateAvailableCaption, MB_YESNO | MB_ICONINFORMATION) == IDYES) {
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
  void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(LookUp));
  LookUp* lookUp = block != nullptr ? new (block) LookUp() : nullptr;
  if (lookUp == nullptr || !LoadWinsock(&lookUp->ws)) {
    if (lookUp != nullptr) HeapFree(GetProcessHeap(), 0, lookUp);
    MessageBoxA(ownerWindow, kConnectFailedText, kConnectFailedCaption, MB_ICONERROR);
    return;
  }
  lookUp->holders = 1;
  if (startNetworking) {
    WSADATA networking;
    if (lookUp->ws.startup(MAKEWORD(2, 0), &networking) != 0) {
      ReleaseLookUp(lookUp);  // the last holder: the library goes, no cleanup is due
      MessageBoxA(ownerWindow, kConnectFailedText, kConnectFailedCaption, MB_ICONERROR);
      return;
    }
    lookUp->startNetworking = 1;
  }
  if (!AwaitLookUp(lookUp, deadline)) {
    ReleaseLookUp(lookUp);
    MessageBoxA(ownerWindow, kConnectFailedText, kConnectFailedCaption, MB_ICONERROR);
    return;
  }
  const WinsockCalls& ws = lookUp->ws;
  sockaddr_in server;
  memset(&server, 0, sizeof(server));
  server.sin_family = AF_INET;
  // Network byte order, written byte by byte (htons is one more import).
  uint8_t* port = reinterpret_cast<uint8_t*>(&server.sin_port);
  port[0] = static_cast<uint8_t>(kServerPort >> 8);
  port[1] = static_cast<uint8_t>(kServerPort & 0xFF);
  memcpy(&server.sin_addr, lookUp->address, 4);

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
  ReleaseLookUp(lookUp);
  if (!understood) MessageBoxA(ownerWindow, kConnectFailedText, kConnectFailedCaption, MB_ICONERROR);
}
