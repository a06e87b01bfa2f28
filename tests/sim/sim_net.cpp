// Simulated WinSock and shell calls over real loopback sockets; see sim_net.h.
#include "sim_control.h"
#include "sim_internal.h"
#include "sim_net_posix.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace {

enum class LinkState { Idle, Connecting, Connected, Failed, Stalled };

struct SimSocket {
  int fd = -1;
  bool nonBlocking = false;
  DWORD receiveTimeoutMs = 0;  // 0: wait for ever, as on Windows
  LinkState state = LinkState::Idle;
};

constexpr uint32_t kLoopbackAddress = 0x7F000001u;
constexpr uint16_t kMappedPort = 80;
constexpr uint32_t kWindowsConnectGiveUpMs = 21000;  // a blocking connect to a silent host
constexpr int WSAENOPROTOOPT_CODE = 10042;
constexpr int WSAVERNOTSUPPORTED_CODE = 10092;

std::mutex netLock;                         // guards everything below; any thread
std::map<std::string, uint16_t> hostPorts;  // mapped host names and their loopback ports; tests
uint16_t port80Target = 0;                  // loopback port that port 80 of 127.0.0.1 reaches; tests
bool connectsStall = false;                 // connections never complete; tests
uint32_t lookupDelayMs = 0;                 // a look-up answers only after this long (a silent name server); tests
uint32_t timeDivisor = 1;                   // divides every time bound; tests
uint64_t clockAnchorTicks = 0;              // GetTickCount's answer when the divisor last changed
std::chrono::steady_clock::time_point clockAnchor = std::chrono::steady_clock::now();  // and the real time then
int activeStartups = 0;                     // WSAStartup calls not yet matched by WSACleanup
std::map<SOCKET, SimSocket> sockets;        // open simulated sockets by handle (= the real descriptor)
sim::NetStats stats;                        // what tests read back
std::vector<sim::ShellLaunch> launches;     // every ShellExecuteA, in order
thread_local int lastWsaError = 0;          // WSAGetLastError of the calling thread
thread_local hostent lookupAnswer;          // gethostbyname's per-thread answer, as on Windows
thread_local char lookupName[256];
thread_local char lookupAddress[4];
thread_local char* lookupAddressList[2];
thread_local char* lookupAliases[1];

int Fail(int error) {
  lastWsaError = error;
  SetLastError(static_cast<DWORD>(error));
  return SOCKET_ERROR;
}

int32_t Scaled(uint32_t milliseconds) {
  const uint32_t scaled = milliseconds / std::max<uint32_t>(timeDivisor, 1);
  return static_cast<int32_t>(std::max<uint32_t>(scaled, 1));
}

SimSocket* Find(SOCKET s) {
  auto it = sockets.find(s);
  return it == sockets.end() ? nullptr : &it->second;
}

// Promotes a connect in progress whose outcome is known by now.
void Settle(SimSocket& socket) {
  if (socket.state != LinkState::Connecting) return;
  const simposix::PollResult result = simposix::WaitConnected(socket.fd, 0);
  if (result == simposix::PollResult::Ready) socket.state = LinkState::Connected;
  if (result == simposix::PollResult::Failed) socket.state = LinkState::Failed;
}

// The simulated clock, which runs timeDivisor times faster than the real one.
// Callers hold netLock.
uint64_t TicksLocked() {
  const auto real = std::chrono::steady_clock::now() - clockAnchor;
  return clockAnchorTicks +
         uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(real).count()) * timeDivisor;
}

}  // namespace

DWORD GetTickCount() {
  std::lock_guard<std::mutex> hold(netLock);
  return static_cast<DWORD>(TicksLocked() + sim_internal::SkippedSleepMilliseconds());
}

int WSAStartup(WORD version, LPWSADATA data) {
  std::lock_guard<std::mutex> hold(netLock);
  if (data == nullptr) return WSAEFAULT;
  if ((version & 0xFF) < 1) return WSAVERNOTSUPPORTED_CODE;
  memset(data, 0, sizeof(*data));
  data->wVersion = std::min<WORD>(version, MAKEWORD(2, 2));
  data->wHighVersion = MAKEWORD(2, 2);
  ++activeStartups;
  ++stats.startups;
  return 0;
}

int WSACleanup() {
  std::lock_guard<std::mutex> hold(netLock);
  if (activeStartups == 0) return Fail(WSANOTINITIALISED);
  ++stats.cleanups;
  if (--activeStartups == 0) {
    // The last cleanup releases whatever sockets are left, as Windows does.
    for (auto& entry : sockets) simposix::Close(entry.second.fd);
    sockets.clear();
  }
  return 0;
}

int WSAGetLastError() { return lastWsaError; }

hostent* gethostbyname(const char* name) {
  uint32_t delay = 0;
  {
    std::lock_guard<std::mutex> hold(netLock);
    delay = lookupDelayMs / std::max<uint32_t>(timeDivisor, 1);
  }
  // A blocking call, as on Windows: the calling thread waits for the name server.
  if (delay != 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  std::lock_guard<std::mutex> hold(netLock);
  ++stats.lookups;
  stats.lookupNames.push_back(name == nullptr ? "" : name);
  if (activeStartups == 0) {
    Fail(WSANOTINITIALISED);
    return nullptr;
  }
  if (name == nullptr || hostPorts.count(name) == 0) {
    Fail(WSAHOST_NOT_FOUND);
    return nullptr;
  }
  snprintf(lookupName, sizeof(lookupName), "%s", name);
  lookupAddress[0] = 127;
  lookupAddress[1] = 0;
  lookupAddress[2] = 0;
  lookupAddress[3] = 1;
  lookupAddressList[0] = lookupAddress;
  lookupAddressList[1] = nullptr;
  lookupAliases[0] = nullptr;
  lookupAnswer.h_name = lookupName;
  lookupAnswer.h_aliases = lookupAliases;
  lookupAnswer.h_addrtype = AF_INET;
  lookupAnswer.h_length = 4;
  lookupAnswer.h_addr_list = lookupAddressList;
  return &lookupAnswer;
}

SOCKET WSASocketA(int family, int type, int protocol, LPWSAPROTOCOL_INFOA, GROUP, DWORD flags) {
  std::lock_guard<std::mutex> hold(netLock);
  if (activeStartups == 0) return Fail(WSANOTINITIALISED), INVALID_SOCKET;
  if (family != AF_INET) return Fail(WSAEAFNOSUPPORT), INVALID_SOCKET;
  if (type != SOCK_STREAM || (protocol != 0 && protocol != IPPROTO_TCP)) return Fail(WSAEINVAL), INVALID_SOCKET;
  const int fd = simposix::StreamSocket();
  if (fd < 0 || fd >= FD_SETSIZE) {
    if (fd >= 0) simposix::Close(fd);
    return Fail(WSAEINVAL), INVALID_SOCKET;
  }
  SimSocket socket;
  socket.fd = fd;
  sockets[static_cast<SOCKET>(fd)] = socket;
  ++stats.socketsCreated;
  ++stats.socketsOpen;
  stats.socketFlags.push_back(static_cast<int>(flags));
  return static_cast<SOCKET>(fd);
}

int WSAConnect(SOCKET s, const sockaddr* name, int nameLength, LPWSABUF, LPWSABUF, LPQOS, LPQOS) {
  std::unique_lock<std::mutex> hold(netLock);
  SimSocket* socket = Find(s);
  if (socket == nullptr) return Fail(WSAENOTSOCK);
  if (name == nullptr || nameLength < static_cast<int>(sizeof(sockaddr_in))) return Fail(WSAEFAULT);
  if (socket->state == LinkState::Connected) return Fail(WSAEISCONN);
  if (socket->state != LinkState::Idle) return Fail(WSAEALREADY);

  sockaddr_in target;
  memcpy(&target, name, sizeof(target));
  sim::ConnectRequest request;
  request.family = target.sin_family;
  request.port = htons(target.sin_port);
  const BYTE* octets = &target.sin_addr.S_un.S_un_b.s_b1;
  request.address = (uint32_t(octets[0]) << 24) | (uint32_t(octets[1]) << 16) | (uint32_t(octets[2]) << 8) | octets[3];
  request.nameLength = nameLength;
  request.nonBlocking = socket->nonBlocking;
  stats.connects.push_back(request);
  if (request.family != AF_INET) return Fail(WSAEAFNOSUPPORT);

  // Only port 80 of the loopback address exists in the simulated world.
  const bool reachable = request.address == kLoopbackAddress && request.port == kMappedPort && port80Target != 0;
  if (reachable && connectsStall) {
    socket->state = LinkState::Stalled;
    if (socket->nonBlocking) return Fail(WSAEWOULDBLOCK);
    const int32_t wait = Scaled(kWindowsConnectGiveUpMs);
    hold.unlock();
    simposix::SleepMs(static_cast<uint32_t>(wait));
    return Fail(WSAETIMEDOUT);
  }
  const simposix::ConnectResult result =
      reachable ? simposix::ConnectLoopback(socket->fd, port80Target) : simposix::ConnectResult::Refused;
  if (result == simposix::ConnectResult::Failed) return Fail(WSAEINVAL);
  socket->state = result == simposix::ConnectResult::Refused ? LinkState::Failed : LinkState::Connecting;
  if (socket->nonBlocking) return Fail(WSAEWOULDBLOCK);  // Windows reports even a quick connect this way

  const int fd = socket->fd;
  const bool pending = socket->state == LinkState::Connecting;
  hold.unlock();
  const bool connected = pending && simposix::WaitConnected(fd, -1) == simposix::PollResult::Ready;
  hold.lock();
  socket = Find(s);
  if (socket == nullptr) return Fail(WSAENOTSOCK);
  socket->state = connected ? LinkState::Connected : LinkState::Failed;
  return connected ? 0 : Fail(WSAECONNREFUSED);
}

int send(SOCKET s, const char* buffer, int length, int) {
  std::unique_lock<std::mutex> hold(netLock);
  SimSocket* socket = Find(s);
  if (socket == nullptr) return Fail(WSAENOTSOCK);
  Settle(*socket);
  if (socket->state != LinkState::Connected) return Fail(WSAENOTCONN);
  if (length < 0) return Fail(WSAEINVAL);
  stats.sent.append(buffer, static_cast<size_t>(length));
  const int fd = socket->fd;
  hold.unlock();
  const int sent = simposix::Send(fd, buffer, length);
  return sent < 0 ? Fail(WSAECONNRESET) : sent;
}

int recv(SOCKET s, char* buffer, int length, int) {
  std::unique_lock<std::mutex> hold(netLock);
  SimSocket* socket = Find(s);
  if (socket == nullptr) return Fail(WSAENOTSOCK);
  Settle(*socket);
  if (socket->state != LinkState::Connected) return Fail(WSAENOTCONN);
  if (length < 0) return Fail(WSAEINVAL);
  if (length == 0) return 0;
  int32_t wait = -1;
  if (socket->nonBlocking) {
    wait = 0;
  } else if (socket->receiveTimeoutMs != 0) {
    wait = Scaled(socket->receiveTimeoutMs);
  }
  const int fd = socket->fd;
  hold.unlock();
  const int received = simposix::Recv(fd, buffer, length, wait);
  if (received >= 0) return received;
  if (received == simposix::kRecvWouldBlock) return Fail(WSAEWOULDBLOCK);
  if (received == simposix::kRecvTimedOut) {
    std::lock_guard<std::mutex> again(netLock);
    ++stats.timedOutReceives;
    return Fail(WSAETIMEDOUT);
  }
  return Fail(WSAECONNRESET);
}

int closesocket(SOCKET s) {
  std::lock_guard<std::mutex> hold(netLock);
  SimSocket* socket = Find(s);
  if (socket == nullptr) return Fail(WSAENOTSOCK);
  simposix::Close(socket->fd);
  sockets.erase(s);
  --stats.socketsOpen;
  return 0;
}

int setsockopt(SOCKET s, int level, int option, const char* value, int valueLength) {
  std::lock_guard<std::mutex> hold(netLock);
  SimSocket* socket = Find(s);
  if (socket == nullptr) return Fail(WSAENOTSOCK);
  if (level != SOL_SOCKET || (option != SO_RCVTIMEO && option != SO_SNDTIMEO)) return Fail(WSAENOPROTOOPT_CODE);
  // Windows takes a DWORD of milliseconds here, not a timeval.
  if (value == nullptr || valueLength < static_cast<int>(sizeof(DWORD))) return Fail(WSAEFAULT);
  DWORD milliseconds;
  memcpy(&milliseconds, value, sizeof(milliseconds));
  if (option == SO_RCVTIMEO) {
    socket->receiveTimeoutMs = milliseconds;
    stats.receiveTimeoutsMs.push_back(milliseconds);
  }
  return 0;
}

int ioctlsocket(SOCKET s, long command, u_long* argument) {
  std::lock_guard<std::mutex> hold(netLock);
  SimSocket* socket = Find(s);
  if (socket == nullptr) return Fail(WSAENOTSOCK);
  if (command != FIONBIO || argument == nullptr) return Fail(WSAEINVAL);
  socket->nonBlocking = *argument != 0;
  return 0;
}

int select(int, fd_set* readable, fd_set* writable, fd_set* failed, const timeval* bound) {
  std::vector<SOCKET> wantRead, wantWrite, wantFailed;
  {
    std::lock_guard<std::mutex> hold(netLock);
    for (int fd = 0; fd < FD_SETSIZE; ++fd) {
      const SOCKET s = static_cast<SOCKET>(fd);
      const bool r = readable != nullptr && FD_ISSET(fd, readable);
      const bool w = writable != nullptr && FD_ISSET(fd, writable);
      const bool f = failed != nullptr && FD_ISSET(fd, failed);
      if (!(r || w || f)) continue;
      if (Find(s) == nullptr) return Fail(WSAENOTSOCK);
      if (r) wantRead.push_back(s);
      if (w) wantWrite.push_back(s);
      if (f) wantFailed.push_back(s);
    }
    if (wantRead.empty() && wantWrite.empty() && wantFailed.empty()) return Fail(WSAEINVAL);
  }
  int32_t waitMs = -1;
  if (bound != nullptr) {
    const uint64_t requested = uint64_t(bound->tv_sec) * 1000u + uint64_t(bound->tv_usec) / 1000u;
    const uint32_t clipped = static_cast<uint32_t>(std::min<uint64_t>(requested, 0x7FFFFFFF));
    {
      std::lock_guard<std::mutex> hold(netLock);
      stats.selectBoundsMs.push_back(clipped);
    }
    waitMs = clipped == 0 ? 0 : Scaled(clipped);
  }
  const uint32_t kStepMs = 2;
  for (int32_t waited = 0;; waited += static_cast<int32_t>(kStepMs)) {
    std::vector<SOCKET> gotRead, gotWrite, gotFailed;
    {
      std::lock_guard<std::mutex> hold(netLock);
      for (SOCKET s : wantRead) {
        SimSocket* socket = Find(s);
        if (socket != nullptr && socket->state == LinkState::Connected && simposix::WaitReadable(socket->fd, 0)) gotRead.push_back(s);
      }
      for (SOCKET s : wantWrite) {
        SimSocket* socket = Find(s);
        if (socket == nullptr) continue;
        Settle(*socket);
        if (socket->state == LinkState::Connected) gotWrite.push_back(s);
      }
      for (SOCKET s : wantFailed) {
        SimSocket* socket = Find(s);
        if (socket == nullptr) continue;
        Settle(*socket);
        // Windows reports a failed non-blocking connect in the exception set.
        if (socket->state == LinkState::Failed) gotFailed.push_back(s);
      }
    }
    const int count = static_cast<int>(gotRead.size() + gotWrite.size() + gotFailed.size());
    if (count > 0 || (waitMs >= 0 && waited >= waitMs)) {
      if (readable != nullptr) FD_ZERO(readable);
      if (writable != nullptr) FD_ZERO(writable);
      if (failed != nullptr) FD_ZERO(failed);
      for (SOCKET s : gotRead) FD_SET(static_cast<int>(s), readable);
      for (SOCKET s : gotWrite) FD_SET(static_cast<int>(s), writable);
      for (SOCKET s : gotFailed) FD_SET(static_cast<int>(s), failed);
      return count;
    }
    simposix::SleepMs(kStepMs);
  }
}

unsigned short htons(unsigned short value) {
  return static_cast<unsigned short>(((value & 0xFF) << 8) | (value >> 8));
}

HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, int show) {
  // Also in the window record, so a test sees it in order with the message boxes.
  sim::Event event;
  event.kind = "ShellExecute";
  event.window = owner;
  event.text = file == nullptr ? "" : file;
  event.caption = verb == nullptr ? "" : verb;
  event.wParam = static_cast<WPARAM>(show);
  sim_internal::RecordEvent(event);

  std::lock_guard<std::mutex> hold(netLock);
  sim::ShellLaunch launch;
  launch.owner = owner;
  launch.verb = verb == nullptr ? "" : verb;
  launch.file = file == nullptr ? "" : file;
  launch.hasParameters = parameters != nullptr;
  launch.parameters = parameters == nullptr ? "" : parameters;
  launch.hasDirectory = directory != nullptr;
  launch.directory = directory == nullptr ? "" : directory;
  launch.show = show;
  launches.push_back(launch);
  return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(42));
}

void SimNetReset() {
  std::lock_guard<std::mutex> hold(netLock);
  for (auto& entry : sockets) simposix::Close(entry.second.fd);
  sockets.clear();
  hostPorts.clear();
  port80Target = 0;
  connectsStall = false;
  lookupDelayMs = 0;
  clockAnchorTicks = TicksLocked();
  clockAnchor = std::chrono::steady_clock::now();
  timeDivisor = 1;
  activeStartups = 0;
  stats = sim::NetStats();
  launches.clear();
}

namespace sim {

void MapHost(const std::string& name, uint16_t port) {
  std::lock_guard<std::mutex> hold(netLock);
  hostPorts[name] = port;
  port80Target = port;
}

void DelayLookUps(uint32_t milliseconds) {
  std::lock_guard<std::mutex> hold(netLock);
  lookupDelayMs = milliseconds;
}

void StallConnects(bool stall) {
  std::lock_guard<std::mutex> hold(netLock);
  connectsStall = stall;
}

void SetNetTimeDivisor(uint32_t divisor) {
  std::lock_guard<std::mutex> hold(netLock);
  clockAnchorTicks = TicksLocked();
  clockAnchor = std::chrono::steady_clock::now();
  timeDivisor = std::max<uint32_t>(divisor, 1);
}

NetStats Net() {
  std::lock_guard<std::mutex> hold(netLock);
  return stats;
}

std::vector<ShellLaunch> ShellLaunches() {
  std::lock_guard<std::mutex> hold(netLock);
  return launches;
}

}  // namespace sim
