// Simulated WinSock 2 and shell calls. Sockets are real loopback TCP sockets
// underneath, so a test can run a scripted server on a thread; host names exist
// only when a test maps them (sim::MapHost). The Windows semantics are kept:
// WSAStartup/WSACleanup counting, WSAGetLastError codes, SO_RCVTIMEO as a DWORD
// of milliseconds, a non-blocking connect that reports WSAEWOULDBLOCK and then
// shows up in select's write set (connected) or exception set (failed).
// Included by sim_win32.h; the test hooks are at the end.
#pragma once

#include <sys/select.h>  // fd_set, timeval and the FD_* macros: the same names as WinSock's
#include <sys/types.h>   // u_long, u_short

#include <cstdint>
#include <string>
#include <vector>

typedef UINT_PTR SOCKET;
typedef unsigned int GROUP;

#define INVALID_SOCKET ((SOCKET)(~0))
#define SOCKET_ERROR (-1)

#ifndef MAKEWORD
#  define MAKEWORD(low, high) ((WORD)(((BYTE)(low)) | (((WORD)((BYTE)(high))) << 8)))
#endif

#define AF_INET 2
#define SOCK_STREAM 1
#define IPPROTO_TCP 6
#define WSA_FLAG_OVERLAPPED 0x01
#define SOL_SOCKET 0xffff
#define SO_SNDTIMEO 0x1005
#define SO_RCVTIMEO 0x1006
#define FIONBIO ((long)0x8004667EL)

#define WSAEINTR 10004
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAEWOULDBLOCK 10035
#define WSAEALREADY 10037
#define WSAENOTSOCK 10038
#define WSAEAFNOSUPPORT 10047
#define WSAECONNRESET 10054
#define WSAEISCONN 10056
#define WSAENOTCONN 10057
#define WSAETIMEDOUT 10060
#define WSAECONNREFUSED 10061
#define WSANOTINITIALISED 10093
#define WSAHOST_NOT_FOUND 11001

typedef struct WSAData {
  WORD wVersion, wHighVersion;
  char szDescription[257];
  char szSystemStatus[129];
  unsigned short iMaxSockets, iMaxUdpDg;
  char* lpVendorInfo;
} WSADATA, *LPWSADATA;

struct in_addr {
  union {
    struct { BYTE s_b1, s_b2, s_b3, s_b4; } S_un_b;
    ULONG S_addr;
  } S_un;
};
struct sockaddr {
  unsigned short sa_family;
  char sa_data[14];
};
struct sockaddr_in {
  short sin_family;
  unsigned short sin_port;
  struct in_addr sin_addr;
  char sin_zero[8];
};
struct hostent {
  char* h_name;
  char** h_aliases;
  short h_addrtype;
  short h_length;
  char** h_addr_list;
};
typedef struct _WSABUF { ULONG len; char* buf; } WSABUF, *LPWSABUF;
typedef struct _QualityOfService { int unused; } QOS, *LPQOS;
typedef struct _WSAPROTOCOL_INFOA { DWORD dwServiceFlags1; } WSAPROTOCOL_INFOA, *LPWSAPROTOCOL_INFOA;

int WSAStartup(WORD version, LPWSADATA data);
int WSACleanup();
int WSAGetLastError();
struct hostent* gethostbyname(const char* name);
SOCKET WSASocketA(int family, int type, int protocol, LPWSAPROTOCOL_INFOA info, GROUP group, DWORD flags);
int WSAConnect(SOCKET s, const struct sockaddr* name, int nameLength, LPWSABUF callerData,
               LPWSABUF calleeData, LPQOS socketQos, LPQOS groupQos);
int send(SOCKET s, const char* buffer, int length, int flags);
int recv(SOCKET s, char* buffer, int length, int flags);
int closesocket(SOCKET s);
int setsockopt(SOCKET s, int level, int option, const char* value, int valueLength);
int ioctlsocket(SOCKET s, long command, u_long* argument);
// WinSock's select: the first argument is ignored. The POSIX select of
// <sys/select.h> (included above, so never declared again) has the same name
// and parameters, so the simulated one is reached through a macro.
int WinsockSelect(int ignored, fd_set* readable, fd_set* writable, fd_set* failed, const struct timeval* bound);
#define select WinsockSelect
unsigned short htons(unsigned short value);

// The shell: recorded (also as a "ShellExecute" event: window = owner, text = file,
// caption = verb, wParam = show command), answers 42 (success is anything above 32).
HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, int show);

// Forget mappings, sockets, counters and launches (sim::Reset calls it too).
void SimNetReset();

namespace sim {

// gethostbyname(name) answers 127.0.0.1, and a connect to port 80 of it reaches
// the loopback port `port`. Names that are not mapped fail the look-up.
void MapHost(const std::string& name, uint16_t port);
// Every gethostbyname blocks its thread this long (simulated milliseconds) before it answers.
void DelayLookUps(uint32_t milliseconds);
// Connections to mapped hosts never complete (a silent server or a lost network).
void StallConnects(bool stall);
// Divides every time bound the code asks for (SO_RCVTIMEO, select) by `divisor`,
// so a test of a 20-second bound takes 200 ms with 100, and makes GetTickCount run
// `divisor` times faster. Recorded values stay unscaled.
void SetNetTimeDivisor(uint32_t divisor);

struct ConnectRequest {
  int family = 0;
  uint16_t port = 0;           // host byte order
  uint32_t address = 0;        // host byte order (0x7F000001 for 127.0.0.1)
  int nameLength = 0;
  bool nonBlocking = false;
};
struct NetStats {
  int startups = 0;            // successful WSAStartup calls
  int cleanups = 0;            // successful WSACleanup calls
  int lookups = 0;             // gethostbyname calls
  int socketsCreated = 0;
  int socketsOpen = 0;         // created and not yet closed with closesocket (WSACleanup
                               // releases them as on Windows, but they still count here)
  std::vector<std::string> lookupNames;
  std::vector<int> socketFlags;              // dwFlags of each WSASocketA
  std::vector<ConnectRequest> connects;
  std::vector<DWORD> receiveTimeoutsMs;      // every SO_RCVTIMEO set, unscaled
  std::vector<uint32_t> selectBoundsMs;      // every select bound, unscaled
  int timedOutReceives = 0;
  std::string sent;                          // every byte passed to send, in order
};
NetStats Net();

struct ShellLaunch {
  HWND owner = nullptr;
  std::string verb, file, parameters, directory;
  bool hasParameters = false, hasDirectory = false;
  int show = -1;
};
std::vector<ShellLaunch> ShellLaunches();

}  // namespace sim
