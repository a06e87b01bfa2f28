#include "sim_net_posix.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace simposix {

int StreamSocket() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  // Always non-blocking underneath: blocking behaviour is built with poll, so
  // every wait can be bounded and counted.
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  return fd;
}

ConnectResult ConnectLoopback(int fd, uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) return ConnectResult::Connected;
  if (errno == EINPROGRESS) return ConnectResult::InProgress;
  if (errno == ECONNREFUSED) return ConnectResult::Refused;
  return ConnectResult::Failed;
}

PollResult WaitConnected(int fd, int32_t timeoutMs) {
  pollfd entry{fd, POLLOUT, 0};
  int ready;
  do ready = poll(&entry, 1, timeoutMs); while (ready < 0 && errno == EINTR);
  if (ready == 0) return PollResult::Pending;
  int error = 0;
  socklen_t size = sizeof(error);
  if (ready < 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) return PollResult::Failed;
  return PollResult::Ready;
}

bool WaitReadable(int fd, int32_t timeoutMs) {
  pollfd entry{fd, POLLIN, 0};
  int ready;
  do ready = poll(&entry, 1, timeoutMs); while (ready < 0 && errno == EINTR);
  return ready > 0;
}

int Send(int fd, const char* buffer, int length) {
  int total = 0;
  while (total < length) {
    pollfd entry{fd, POLLOUT, 0};
    if (poll(&entry, 1, -1) < 0 && errno != EINTR) return -1;
    const ssize_t sent = send(fd, buffer + total, static_cast<size_t>(length - total), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      return -1;
    }
    total += static_cast<int>(sent);
  }
  return total;
}

int Recv(int fd, char* buffer, int length, int32_t timeoutMs) {
  if (timeoutMs != 0 && !WaitReadable(fd, timeoutMs)) return kRecvTimedOut;
  ssize_t received;
  do received = recv(fd, buffer, static_cast<size_t>(length), 0); while (received < 0 && errno == EINTR);
  if (received >= 0) return static_cast<int>(received);
  if (errno == EAGAIN || errno == EWOULDBLOCK) return timeoutMs == 0 ? kRecvWouldBlock : kRecvTimedOut;
  return kRecvReset;
}

void Close(int fd) { close(fd); }

void SleepMs(uint32_t milliseconds) {
  timespec span{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&span, &span) != 0 && errno == EINTR) {
  }
}

}  // namespace simposix
