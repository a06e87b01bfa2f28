// The status line over the progress bar: the one-second tick and the texts it
// writes while a job runs (percentage, remaining time, speed).
#pragma once

#include <cstdint>

// Ticks cycle through ten phases: 0-2 percentage, 3-5 remaining time, 6-9 speed.
// While a written image is read back the percentage says "Verified", not "Completed".
constexpr int32_t kStatusPhases = 10;

extern int32_t statusPhase;  // phase of the next busy tick; never reset between jobs; main thread (timer)

// The texts; each returns false and writes nothing when the data do not allow
// an estimate (no progress yet, no whole second elapsed, 100 % reached, no bytes).
void FormatPercentText(char* out, uint32_t outSize, double percentDone, bool verifying);
bool FormatRemainingText(char* out, uint32_t outSize, double percentDone, uint64_t tickCount,
                         uint64_t startTick);
bool FormatSpeedText(char* out, uint32_t outSize, double percentDone, double bytesDone,
                     uint64_t tickCount, uint64_t startTick);

// The text for one phase, falling back to the percentage where an estimate fails.
void ComposeStatusText(char* out, uint32_t outSize, int32_t phase, double percentDone,
                       double bytesDone, uint64_t tickCount, uint64_t startTick, bool verifying);

// One WM_TIMER: counts the tick and, while a job runs, rewrites the status
// text and asks for the bar to be repainted.
void StatusTimerTick();
