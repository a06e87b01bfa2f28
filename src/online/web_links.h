// Pages of the maker's web site opened in the user's browser: the About box's
// buttons and picture, and the main window's Help button.
#pragma once

#include "win_api.h"

#include <cstdint>

constexpr uint32_t kLinkTextBytes = 2048;

// Help button of the main window: the support page with the OS tag.
void OpenHelpLink(HWND owner);

// A WM_COMMAND of the About box with notification code 0: opens the page of a
// button or the picture, or runs the update check (which calls whileWaiting
// between its waits). Other ids do nothing.
void HandleAboutCommand(HWND aboutBox, int32_t commandId, void (*whileWaiting)() = nullptr);
