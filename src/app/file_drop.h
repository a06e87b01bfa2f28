// A file dropped on the window (from Explorer, or any program that drops).
#pragma once

#include "win_api.h"

#include <cstdint>

// The first file of `drop` fills the file field of `tab` (the disk tools have
// none); a drop during a job changes nothing. The drop is always finished.
void TakeDroppedFile(HWND window, HDROP drop, int32_t tab);
