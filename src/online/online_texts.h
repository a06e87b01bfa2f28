// Every text of the online services that a user or the maker's web server sees:
// the server's name, the request, the message boxes and the web links.
#pragma once

#include "text_table.h"

#include <cstdint>

#ifndef TAVRIN_SERVER_HOST
#  error "TAVRIN_SERVER_HOST names the maker's web server; the build defines it"
#endif

// The maker's web server. Reached on port 80 only.
#define TAVRIN_SERVER_URL "http://" TAVRIN_SERVER_HOST

constexpr const char* kServerHost = TAVRIN_SERVER_HOST;
constexpr uint16_t kServerPort = 80;

// The program as the web site knows it (already URL-escaped) and its version.
constexpr const char* kProgramName = "Tavrin";
constexpr const char* kProgramVersion = "1.6";

// ---- Update check -------------------------------------------------------------
// The request: the full URL on the request line and one Host header.
constexpr const char* kUpdateRequestFormat =
    "GET " TAVRIN_SERVER_URL "/updates.php?ProgramName=%s&MyVersion=%s&OSVersion=%s HTTP/1.0\r\n"
    "Host: " TAVRIN_SERVER_HOST "\r\n\r\n";
constexpr const char* kUpdateFlagTag = "new";
constexpr const char* kUpdateLinkTag = "link";
constexpr const char* kUpdateFlagTrue = "true";

// The boxes of the update check: named once, in both languages, in
// online_text_rows.h (the rule for a new text is that of app/app_texts.h).
#include "text_rows_declare.h"
#include "online/online_text_rows.h"
#include "text_rows_end.h"

// ---- OS tag (URL-escaped operating-system name) ------------------------------
constexpr uint32_t kOsTagBytes = 24;
constexpr const char* kOsTagNtFormat = "Windows%%20NT%%20%i.%i";
constexpr const char* kOsTag95 = "Windows%2095";
constexpr const char* kOsTag98 = "Windows%2098";
constexpr const char* kOsTagMe = "Windows%20Me";
constexpr const char* kOsTagOther = "Windows 3.1";

// ---- Web links ----------------------------------------------------------------
constexpr const char* kShellVerbOpen = "open";
#define TAVRIN_LINK_QUERY "?AppID=Tavrin&VersionID=1.6&OSID="
constexpr const char* kContactUrl = TAVRIN_SERVER_URL "/contact.php";
constexpr const char* kDonateUrl = TAVRIN_SERVER_URL "/donate.php" TAVRIN_LINK_QUERY "Windows";
constexpr const char* kCustomUrl = TAVRIN_SERVER_URL "/custom.php" TAVRIN_LINK_QUERY "Windows";
constexpr const char* kFeaturedUrlFormat = TAVRIN_SERVER_URL "/featured.php" TAVRIN_LINK_QUERY "%s";
constexpr const char* kFeaturedFallbackUrl = TAVRIN_SERVER_URL "/featured.php" TAVRIN_LINK_QUERY "Windows";
constexpr const char* kSupportUrlFormat = TAVRIN_SERVER_URL "/support.php" TAVRIN_LINK_QUERY "%s";
constexpr const char* kSupportFallbackUrl = TAVRIN_SERVER_URL "/support.php" TAVRIN_LINK_QUERY "Windows";

// Points every text of the online services at the language's.
void SelectOnlineTexts(UiLanguage language);
// The rows, for the checks over both languages.
const TextTable& OnlineTextTable();
