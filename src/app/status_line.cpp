#include "app/status_line.h"

#include "app/app_texts.h"
#include "imaging/job_state.h"

#include <cmath>
#include <cstdio>

int32_t statusPhase = 0;  // phase of the next busy tick; never reset between jobs; main thread (timer)

namespace {

// Estimates need some progress that is not yet complete and at least one
// whole second of the job.
bool EstimateAllowed(double percentDone, uint64_t tickCount, uint64_t startTick) {
  return percentDone > 0.0 && tickCount > startTick && percentDone < 100.0;
}

double ElapsedSeconds(uint64_t tickCount, uint64_t startTick) {
  return static_cast<double>(tickCount - startTick);
}

}  // namespace

void FormatPercentText(char* out, uint32_t outSize, double percentDone, bool verifying) {
  const uint8_t pass = jobState.checkPass.load();
  const char* format = verifying ? FORMAT_PERCENT_VERIFIED : FORMAT_PERCENT;
  if (pass == 1) format = FORMAT_PERCENT_WRITTEN;
  if (pass == 2) format = FORMAT_PERCENT_CHECKED;
  std::snprintf(out, outSize, format, percentDone);
}

bool FormatRemainingText(char* out, uint32_t outSize, double percentDone, uint64_t tickCount,
                         uint64_t startTick) {
  if (!EstimateAllowed(percentDone, tickCount, startTick)) return false;
  const double elapsed = ElapsedSeconds(tickCount, startTick);
  const double remaining = ((elapsed * 100.0) / percentDone) * (100.0 - percentDone) * 0.01;
  if (remaining < 60.0) {
    std::snprintf(out, outSize, FORMAT_REMAINING_SECONDS, remaining);
  } else if (remaining < 3600.0) {
    std::snprintf(out, outSize, FORMAT_REMAINING_MINUTES, remaining / 60.0);
  } else {
    // Whole seconds mod 3600 in double arithmetic: exact for whole numbers and
    // safe for any size, where a cast of a huge estimate would not be.
    const double hours = std::floor(remaining / 3600.0);
    const int minutes = static_cast<int>(std::fmod(std::trunc(remaining), 3600.0) / 60.0);
    std::snprintf(out, outSize, FORMAT_REMAINING_HOURS, hours, minutes);
  }
  return true;
}

bool FormatSpeedText(char* out, uint32_t outSize, double percentDone, double bytesDone,
                     uint64_t tickCount, uint64_t startTick) {
  if (!EstimateAllowed(percentDone, tickCount, startTick) || !(bytesDone > 0.0)) return false;
  const double speed = bytesDone / ElapsedSeconds(tickCount, startTick);
  if (speed < 1024.0) {
    std::snprintf(out, outSize, FORMAT_SPEED_BYTES, speed);
  } else if (speed < 1048576.0) {
    std::snprintf(out, outSize, FORMAT_SPEED_KB, speed / 1024.0);
  } else if (speed < 1073741824.0) {
    std::snprintf(out, outSize, FORMAT_SPEED_MB, speed / 1048576.0);
  } else {
    std::snprintf(out, outSize, FORMAT_SPEED_GB, speed / 1073741824.0);
  }
  return true;
}

void ComposeStatusText(char* out, uint32_t outSize, int32_t phase, double percentDone,
                       double bytesDone, uint64_t tickCount, uint64_t startTick, bool verifying) {
  bool written = false;
  if (phase >= 3 && phase < 6) {
    written = FormatRemainingText(out, outSize, percentDone, tickCount, startTick);
  } else if (phase >= 6) {
    written = FormatSpeedText(out, outSize, percentDone, bytesDone, tickCount, startTick);
  }
  if (!written) FormatPercentText(out, outSize, percentDone, verifying);
}

void StatusTimerTick() {
  const uint64_t ticks = jobState.tickCount.load() + 1;
  jobState.tickCount.store(ticks);
  if (jobState.busy.load() == 0) return;

  if (statusPhase > kStatusPhases - 1) statusPhase = 0;
  char text[kStatusTextBytes];
  ComposeStatusText(text, sizeof(text), statusPhase, jobState.percentDone.load(),
                    jobState.bytesDone.load(), ticks, jobState.startTick.load(),
                    jobState.verifying.load() != 0);
  // The cycle goes on while an outcome box holds the word, so every job's
  // ticks keep the same count of phases.
  ++statusPhase;
  if (!WriteProgressText(text)) return;  // the outcome word stays
  RequestProgressRedraw();
}
