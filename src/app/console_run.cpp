#include "app/console_run.h"

#include "app/app_state.h"
#include "app/app_texts.h"
#include "app/close_request.h"
#include "app/console_output.h"
#include "app/start_command.h"
#include "app/status_line.h"
#include "disk/drive_list.h"
#include "disk/drive_naming.h"
#include "imaging/checksum_job.h"
#include "imaging/job_state.h"
#include "resources/resource_ids.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace {

constexpr DWORD kWaitStepMs = 100;
constexpr uint32_t kStepsPerTick = 1000 / kWaitStepMs;
constexpr uint32_t kListLineBytes = kDriveLabelBytes + 96;

bool answerYes = false;       // --yes; main thread before the job
bool quiet = false;           // --quiet
std::atomic<uint8_t> cancelAsked{0};  // Ctrl+C or Ctrl+Break reached a running job (on a thread of its own)

// Ctrl+C and Ctrl+Break cancel a running job as the button does: the worker
// ends its transfer, unlocks the disk and reports, and the program exits
// after it. With nothing running the system's own handling ends the program.
BOOL WINAPI ConsoleBreak(DWORD event) {
  if (jobState.busy.load() == 0) return FALSE;
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  cancelAsked.store(1);
  jobState.cancelRequested.store(1);
  return TRUE;
}

// `format`'s first %s replaced by `word` (the formats are ASCII).
void FormatWithWord(const char* format, const wchar_t* word, wchar_t* out, uint32_t chars) {
  uint32_t at = 0;
  bool replaced = false;
  for (const char* c = format; *c != '\0' && at + 1 < chars; ++c) {
    if (!replaced && c[0] == '%' && c[1] == 's') {
      for (const wchar_t* w = word; *w != L'\0' && at + 1 < chars; ++w) out[at++] = *w;
      replaced = true;
      ++c;
    } else {
      out[at++] = static_cast<wchar_t>(static_cast<unsigned char>(*c));
    }
  }
  out[at] = L'\0';
}

void ListDrives() {
  BuildDriveList(nullptr, jobState.platformClass == kPlatformLegacy);
  if (driveEntryCount == 0) PrintText(CONSOLE_LIST_EMPTY);
  for (uint32_t i = 0; i < driveEntryCount; ++i) {
    const DriveEntry& entry = driveEntries[i];
    const char designator = DriveDesignatorFromText(entry.label);
    const bool disk = NamesPhysicalDisk(designator) && jobState.platformClass != kPlatformLegacy;
    char name[4] = {designator, disk ? '\0' : ':', '\0', '\0'};
    const char* kind = CONSOLE_KIND_DRIVE;
    if (entry.hasIdentity && entry.identity.described) {
      kind = IsInternalDisk(entry.identity) ? CONSOLE_KIND_INTERNAL : CONSOLE_KIND_REMOVABLE;
    }
    char length[24];
    if (entry.hasIdentity && entry.identity.lengthBytes > 0) {
      std::snprintf(length, sizeof(length), "%" PRIu64, entry.identity.lengthBytes);
    } else {
      std::snprintf(length, sizeof(length), "%s", CONSOLE_LENGTH_UNKNOWN);
    }
    char line[kListLineBytes];
    std::snprintf(line, sizeof(line), CONSOLE_LIST_LINE, name, entry.label, kind, length);
    PrintText(line);
  }
}

// The image path as the file field would hold it, made whole against the
// current folder, so that the checks judge the volume it really lies on.
void TakeImagePath(const wchar_t* file) {
  if (jobState.platformClass == kPlatformLegacy) {
    char typed[kImagePathBytes];
    if (WideCharToMultiByte(CP_ACP, 0, file, -1, typed, sizeof(typed), nullptr, nullptr) == 0) typed[0] = '\0';
    const DWORD length = typed[0] != '\0' ? GetFullPathNameA(typed, kImagePathBytes, imagePath, nullptr) : 0;
    if (length == 0 || length >= kImagePathBytes) std::memcpy(imagePath, typed, sizeof(imagePath));
    return;
  }
  const DWORD length = GetFullPathNameW(file, kImagePathChars, imagePathWide, nullptr);
  if (length == 0 || length >= kImagePathChars) {
    // Too long to make whole: kept as typed, and Start refuses what is too long.
    uint32_t i = 0;
    for (; file[i] != L'\0' && i + 1 < kImagePathChars; ++i) imagePathWide[i] = file[i];
    imagePathWide[i] = L'\0';
  }
}

void PrintProgressLine() {
  char percent[kStatusTextBytes];
  char remaining[kStatusTextBytes];
  char speed[kStatusTextBytes];
  const double done = jobState.percentDone.load();
  const uint64_t ticks = jobState.tickCount.load();
  const uint64_t start = jobState.startTick.load();
  FormatPercentText(percent, sizeof(percent), done, jobState.verifying.load() != 0);
  char line[kStatusTextBytes];
  int used = std::snprintf(line, sizeof(line), "%s", percent);
  if (FormatSpeedText(speed, sizeof(speed), done, jobState.bytesDone.load(), ticks, start) && used >= 0) {
    used += std::snprintf(line + used, sizeof(line) - static_cast<uint32_t>(used), "  %s", speed);
  }
  if (FormatRemainingText(remaining, sizeof(remaining), done, ticks, start) && used >= 0 &&
      static_cast<uint32_t>(used) < sizeof(line)) {
    std::snprintf(line + used, sizeof(line) - static_cast<uint32_t>(used), "  %s", remaining);
  }
  PrintProgress(line);
}

// Until the job's thread is gone (its last report printed), one second at a
// time for the speed and the remaining time, as the window's timer counts.
void WaitForJob() {
  for (uint32_t step = 1; runningWorkers.load() != 0 || jobState.busy.load() != 0; ++step) {
    Sleep(kWaitStepMs);
    if (step % kStepsPerTick != 0) continue;
    jobState.tickCount.store(jobState.tickCount.load() + 1);
    if (!quiet && jobState.busy.load() != 0 && jobState.outcomeWordShown.load() == 0) PrintProgressLine();
  }
  EndProgress();
}

int ExitCodeOfJob() {
  switch (jobState.jobEnd.load()) {
    case kJobEndNone: return kExitRefused;
    case kJobEndCompleted: return kExitCompleted;
    case kJobEndCancelled: return kExitCancelled;
    case kJobEndMismatch: return kExitMismatch;
    default: return kExitFailed;
  }
}

void PrintSums() {
  for (uint32_t kind = 0; kind < kHashKindCount; ++kind) {
    char line[kDigestHexBytes + 16];
    std::snprintf(line, sizeof(line), CONSOLE_SUM_LINE, HashKindName(static_cast<HashKind>(kind)), imageSums.hex[kind]);
    PrintText(line);
  }
}

int RunJobCommand(const CommandLine& line) {
  if (line.file != nullptr) TakeImagePath(line.file);
  std::snprintf(driveText, kDriveTextBytes, NamesPhysicalDisk(line.designator) ? "%c" : "%c:", line.designator);
  trimBoxChecked = line.trim ? 1 : 0;
  switch (line.command) {
    case Command::Write: PressStartButton(kWriteImageToDisk, line.verify); break;
    case Command::Create: PressStartButton(kCreateImageFromDisk, false); break;
    case Command::Check: PressStartButton(kDiskTools, false, kToolCheckCapacity); break;
    case Command::Restore: PressStartButton(kDiskTools, false, kToolRestoreDrive); break;
    default: PressSumsButton(); break;
  }
  if (jobState.jobEnd.load() == kJobEndNone) return kExitRefused;
  WaitForJob();
  const int code = ExitCodeOfJob();
  if (line.command == Command::Hash && code == kExitCompleted) PrintSums();
  // A cancel that came too late to stop the job leaves its own outcome.
  if (cancelAsked.load() != 0 && code == kExitFailed) return kExitCancelled;
  return code;
}

}  // namespace

int AnswerOnConsole(const char* text, const wchar_t* wideText, UINT flags) {
  const bool question = (flags & 0xF) == MB_YESNO;
  // Every box is a sentence on standard output, --quiet or not: the outcomes and refusals are what it keeps.
  if (text != nullptr) {
    PrintText(text);
  } else {
    PrintTextW(wideText);
  }
  if (!question) return IDOK;
  if (jobState.busy.load() != 0) {
    PrintText(CONSOLE_NOT_RESTORED);
    return IDNO;
  }
  if (answerYes) return IDYES;
  if (!ConsoleCanAsk()) {
    PrintText(CONSOLE_NO_CONSOLE_TO_ASK);
    return IDNO;
  }
  PrintText(CONSOLE_TYPE_YES);
  return ReadYes() ? IDYES : IDNO;
}

int RunCommandLine(const CommandLine& line, const wchar_t* const* words) {
  OpenConsoleStreams();
  if (line.error != nullptr) {
    wchar_t text[kConsoleTextChars];
    FormatWithWord(line.error, line.errorArgument >= 0 ? words[line.errorArgument] : L"", text, kConsoleTextChars);
    PrintTextW(text, true);
    return kExitUsage;
  }
  answerYes = line.yes;
  quiet = line.quiet;
  cancelAsked.store(0);
  consoleAnswer = AnswerOnConsole;
  switch (line.command) {
    case Command::Help: PrintText(CONSOLE_HELP); return kExitCompleted;
    case Command::Version: PrintText(CONSOLE_VERSION); return kExitCompleted;
    case Command::List: ListDrives(); return kExitCompleted;
    case Command::Window: return kExitUsage;  // the window is winmain's
    default: break;
  }
  // A drive without its medium fails its call instead of asking in a box.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  SetConsoleCtrlHandler(ConsoleBreak, TRUE);
  const int code = RunJobCommand(line);
  SetConsoleCtrlHandler(ConsoleBreak, FALSE);
  consoleAnswer = nullptr;
  return code;
}
