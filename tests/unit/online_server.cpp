#include "online_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A held connection is dropped by the server after this long at the latest, so
// a client without a bound fails its test instead of hanging it.
constexpr int kHoldLimitMs = 5000;

int BoundSocket(uint16_t* port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof(address);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    close(fd);
    return -1;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

// Reads until the blank line that ends the request head, the client's close, or the limit.
void ReadRequest(int fd, std::string* request) {
  char chunk[1024];
  while (request->find("\r\n\r\n") == std::string::npos) {
    pollfd entry{fd, POLLIN, 0};
    if (poll(&entry, 1, kHoldLimitMs) <= 0) return;
    const ssize_t got = recv(fd, chunk, sizeof(chunk), 0);
    if (got <= 0) return;
    request->append(chunk, static_cast<size_t>(got));
  }
}

void Serve(LoopbackServer* server) {
  const auto acceptEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHoldLimitMs);
  for (;;) {
    if (server->stopping || std::chrono::steady_clock::now() >= acceptEnd) return;
    pollfd waiting{server->listenFd, POLLIN, 0};
    if (poll(&waiting, 1, 10) > 0) break;
  }
  const int fd = accept(server->listenFd, nullptr, nullptr);
  if (fd < 0) return;
  ++server->record.connections;
  ReadRequest(fd, &server->record.request);
  bool first = true;
  for (const std::string& chunk : server->script.replyChunks) {
    if (!first && server->script.chunkPauseMs != 0) usleep(server->script.chunkPauseMs * 1000u);
    first = false;
    if (send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) < 0) {  // the client hung up mid-reply
      server->record.clientClosedFirst = true;
      server->clientGone = true;
      break;
    }
  }
  if (server->script.holdOpen) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHoldLimitMs);
    char sink[512];
    while (!server->stopping && std::chrono::steady_clock::now() < end) {
      pollfd entry{fd, POLLIN, 0};
      if (poll(&entry, 1, 10) <= 0) continue;
      const ssize_t got = recv(fd, sink, sizeof(sink), 0);
      if (got <= 0) {
        server->record.clientClosedFirst = true;
        server->clientGone = true;
        break;
      }
      server->record.request.append(sink, static_cast<size_t>(got));
    }
  }
  close(fd);
}

}  // namespace

uint16_t StartServer(LoopbackServer& server, const ServerScript& script) {
  server.script = script;
  server.record = ServerRecord();
  server.stopping = false;
  server.clientGone = false;
  server.listenFd = BoundSocket(&server.port);
  if (server.listenFd < 0) return 0;
  if (!script.listen) {
    // The port was free a moment ago and nobody listens on it now: refused.
    close(server.listenFd);
    server.listenFd = -1;
    return server.port;
  }
  if (listen(server.listenFd, 1) != 0) return 0;
  server.worker = std::thread(Serve, &server);
  return server.port;
}

ServerRecord StopServer(LoopbackServer& server) {
  if (server.worker.joinable()) {
    // Let a held connection notice the client's close first, then give up on it.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (server.script.holdOpen && std::chrono::steady_clock::now() < end && !server.clientGone) usleep(5000);
    server.stopping = true;
    server.worker.join();
  }
  if (server.listenFd >= 0) close(server.listenFd);
  server.listenFd = -1;
  return server.record;
}
