// The real loopback sockets under the simulated WinSock calls. Kept apart from
// sim_net.h because the POSIX socket headers declare the same names.
#pragma once

#include <cstdint>

namespace simposix {

enum class ConnectResult { Connected, InProgress, Refused, Failed };
enum class PollResult { Pending, Ready, Failed };
constexpr int kRecvTimedOut = -2;
constexpr int kRecvWouldBlock = -3;
constexpr int kRecvReset = -4;

int StreamSocket();                                    // -1 on failure
ConnectResult ConnectLoopback(int fd, uint16_t port);  // non-blocking connect to 127.0.0.1:port
// Waits up to timeoutMs (-1: for ever) for a connect in progress to end.
PollResult WaitConnected(int fd, int32_t timeoutMs);
// Waits up to timeoutMs (-1: for ever) for data or the end of the stream.
bool WaitReadable(int fd, int32_t timeoutMs);
int Send(int fd, const char* buffer, int length);      // -1 on failure
// Reads what is there; timeoutMs -1 waits for ever, 0 does not wait.
int Recv(int fd, char* buffer, int length, int32_t timeoutMs);
void Close(int fd);
void SleepMs(uint32_t milliseconds);

}  // namespace simposix
