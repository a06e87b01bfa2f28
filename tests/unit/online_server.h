// A scripted HTTP server on a loopback port, run on its own thread, for the
// update-check tests. Plain POSIX underneath; it never touches the simulation.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

struct ServerScript {
  std::vector<std::string> replyChunks;  // sent in order once the request is in
  uint32_t chunkPauseMs = 0;             // pause before each chunk after the first
  bool holdOpen = false;                 // keep the connection open after the reply
  bool listen = true;                    // false: nobody listens on the port (refused)
};

struct ServerRecord {
  std::string request;             // every byte the client sent
  int connections = 0;
  bool clientClosedFirst = false;  // the client hung up while the server held on
};

struct LoopbackServer {
  int listenFd = -1;
  uint16_t port = 0;
  ServerScript script;
  ServerRecord record;
  std::atomic<bool> stopping{false};
  std::atomic<bool> clientGone{false};  // set by the server thread when the client hung up first
  std::thread worker;
};

// Starts serving one connection; returns the port (0 on failure).
uint16_t StartServer(LoopbackServer& server, const ServerScript& script);
// Waits for the connection to end (at most a few seconds) and returns what the server saw.
ServerRecord StopServer(LoopbackServer& server);
