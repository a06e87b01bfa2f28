// The online check for a newer version: one HTTP/1.0 request to the maker's web
// server, one bounded reply, and an offer to open the download page.
#pragma once

#include "win_api.h"

#include <cstdint>

constexpr uint32_t kReplyBufferBytes = 4096;
constexpr uint32_t kValueBufferBytes = 1024;
// How long the whole exchange (connect, send, every receive) may take: a server
// that never answers, or trickles, must not hold the window for longer.
constexpr DWORD kExchangeDeadlineMs = 20000;
// The longest single wait, after which the window is let answer its messages.
constexpr DWORD kWaitSliceMs = 100;

// Asks the server about programName/version (both already URL-escaped) for this
// operating system and shows the outcome in message boxes owned by ownerWindow:
// the update prompt (opening the download page on Yes), the no-updates message,
// or the connection-failure message (also when the system has no Winsock 2).
// startNetworking: call WSAStartup and WSACleanup around the exchange. Blocks
// the calling thread for kExchangeDeadlineMs at most, calling whileWaiting (when
// given) after every wait of kWaitSliceMs or less. What arrived before the
// deadline is read as the reply.
void CheckForUpdates(const char* programName, const char* version, HWND ownerWindow, uint8_t startNetworking,
                     void (*whileWaiting)() = nullptr);

// True for a link the browser may be handed: an http:// or https:// URL (scheme
// in any case) with something after the scheme and no spaces, quotes or control
// bytes. Anything else could make the shell start a program or open a share.
bool IsWebLink(const char* link);
