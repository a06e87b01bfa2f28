// The online check for a newer version: one HTTP/1.0 request to the maker's web
// server, one bounded reply, and an offer to open the download page.
#pragma once

#include "win_api.h"

#include <cstdint>

constexpr uint32_t kReplyBufferBytes = 4096;
constexpr uint32_t kValueBufferBytes = 1024;
// How long the connection, and each receive after it, may take before the
// server counts as silent: a server that never answers must not freeze the program.
constexpr DWORD kNetworkTimeoutMs = 15000;

// Asks the server about programName/version (both already URL-escaped) for this
// operating system and shows the outcome in message boxes owned by ownerWindow:
// the update prompt (opening the download page on Yes), the no-updates message,
// or the connection-failure message. startNetworking: call WSAStartup and
// WSACleanup around the exchange. Blocks the calling thread for the exchange.
void CheckForUpdates(const char* programName, const char* version, HWND ownerWindow, uint8_t startNetworking);

// True for a link the browser may be handed: an http:// or https:// URL (scheme
// in any case) with something after the scheme and no spaces, quotes or control
// bytes. Anything else could make the shell start a program or open a share.
bool IsWebLink(const char* link);
