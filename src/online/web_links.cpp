#include "online/web_links.h"

#include "online/online_texts.h"
#include "online/os_tag.h"
#include "online/update_check.h"
#include "resources/resource_ids.h"

#include <cstdio>

namespace {

void LaunchUrl(HWND owner, const char* url) {
  // A browser that cannot start is not reported.
  ShellExecuteA(owner, kShellVerbOpen, url, nullptr, nullptr, SW_SHOWNORMAL);
}

// A page whose query ends in the OS tag; without memory for the text, the same
// page with the fixed word Windows instead.
void LaunchTaggedUrl(HWND owner, const char* urlFormat, const char* fallbackUrl) {
  BuildOsVersionTag();
  char* url = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, kLinkTextBytes));
  if (url == nullptr) {
    LaunchUrl(owner, fallbackUrl);
    return;
  }
  snprintf(url, kLinkTextBytes, urlFormat, osTag);
  LaunchUrl(owner, url);
  HeapFree(GetProcessHeap(), 0, url);
}

}  // namespace

void OpenHelpLink(HWND owner) { LaunchTaggedUrl(owner, kSupportUrlFormat, kSupportFallbackUrl); }

void HandleAboutCommand(HWND aboutBox, int32_t commandId, void (*whileWaiting)()) {
  switch (commandId) {
    case IDC_ABOUT_CONTACT:
      LaunchUrl(aboutBox, kContactUrl);
      break;
    case IDC_ABOUT_DONATE:
      LaunchUrl(aboutBox, kDonateUrl);
      break;
    case IDC_ABOUT_CUSTOM:
      LaunchUrl(aboutBox, kCustomUrl);
      break;
    case IDC_ABOUT_UPDATE:
      CheckForUpdates(kProgramName, kProgramVersion, aboutBox, 1, whileWaiting);
      break;
    case IDC_ABOUT_PICTURE:
      LaunchTaggedUrl(aboutBox, kFeaturedUrlFormat, kFeaturedFallbackUrl);
      break;
    default:
      break;
  }
}
