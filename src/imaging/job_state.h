// The one record of the running imaging job, shared by the main window, the
// progress display and the worker thread, with the window hooks through which
// the worker reports.
#pragma once

#include "disk/raw_device.h"
#include "image/image_codec.h"
#include "win_api.h"

#include <atomic>
#include <cstdint>

constexpr uint32_t kBlockBytes = 65536;  // 128 sectors, the unit of every rule the user sees
// The largest transfer and the size of the transfer buffer: on the NT family
// a transfer carries up to 16 blocks, because every device call costs far more
// than moving the bytes; the legacy family's sector services move one block.
constexpr uint32_t kTransferBytes = 16 * kBlockBytes;
// The job's transfer buffer holds this many transfers: the ring between the
// worker and its reader or writer thread (8 MiB in all).
constexpr uint32_t kRingSlots = 8;
constexpr uint32_t kStatusTextBytes = 256;

constexpr int32_t kWriteImageToDisk = 0;
constexpr int32_t kCreateImageFromDisk = 1;
constexpr int32_t kDiskTools = 2;          // the disk tools tab: no image file
constexpr uint8_t kToolCheckCapacity = 0;
constexpr uint8_t kToolRestoreDrive = 1;
// Not a tab: the checksums button's job, which reads the image file only.
constexpr int32_t kComputeImageSums = 3;
// Posted to the main window when the checksums of the image file are ready.
constexpr UINT kImageSumsReadyMessage = WM_APP + 1;
constexpr uint8_t kPlatformNt = 32;
constexpr uint8_t kPlatformLegacy = 16;

// How the last job ended, for the command line's exit code. Start sets
// kJobEndNone before it judges anything and kJobEndFailed once it launches a
// job, so every end the worker does not name counts as a failure.
constexpr uint8_t kJobEndNone = 0;       // nothing launched: refused or declined at Start
constexpr uint8_t kJobEndCompleted = 1;
constexpr uint8_t kJobEndFailed = 2;
constexpr uint8_t kJobEndCancelled = 3;
constexpr uint8_t kJobEndMismatch = 4;   // the read-back or the publisher's sum differs

// Fields read by the other thread while they change are atomics, so a 64-bit
// counter or a double is never seen half-written.
struct JobState {
  std::atomic<int32_t> mode{0};                 // tab index at Start; written by Start
  std::atomic<char> targetDesignator{0};        // drive letter/digit; the legacy worker replaces it with the drive number
  HANDLE imageFile = INVALID_HANDLE_VALUE;      // written by Start before the worker exists; closed by the worker
  ImageFormat imageFormat = ImageFormat::Plain; // how the image file is compressed; written by Start before the worker exists
  HANDLE deviceHandle = INVALID_HANDLE_VALUE;   // raw device (NT family); worker only
  uint8_t* buffer = nullptr;                    // kRingSlots x kTransferBytes page-aligned transfer buffers; Start allocates, worker releases
  uint32_t bufferBytes = 0;                     // bytes of buffer a transfer may fill; Start sets it with buffer
  uint8_t* verifyBuffer = nullptr;              // the disk's side of the read-back comparison, one block;
                                                // Start allocates it for a verified write, worker releases
  std::atomic<uint8_t> verifyAfterWrite{0};     // 1: a write reads the disk back and compares; written by Start
  std::atomic<uint8_t> verifying{0};            // 1 while the written image is read back; worker
  std::atomic<uint8_t> diskTool{0};             // the disk tools tab's choice; written by Start
  std::atomic<uint8_t> checkPass{0};            // capacity check: 1 writing, 2 reading back, 0 otherwise; worker
  std::atomic<uint32_t> blockBytes{0};          // bytes of the current block; worker
  std::atomic<uint64_t> sectorsDone{0};         // sectors moved; Start zeroes, worker advances
  std::atomic<uint64_t> totalSectors{0};        // what ends the job; worker
  std::atomic<double> bytesDone{0.0};           // bytes moved, for the speed; worker
  std::atomic<double> percentDone{0.0};         // progress 0..100 (slightly above at the end); worker
  std::atomic<double> percentDoneCopy{0.0};     // second copy, always written together with percentDone
  std::atomic<uint8_t> cancelRequested{0};      // set by the button while busy, cleared by the worker
  std::atomic<uint8_t> busy{0};                 // 1 while a job runs; set by Start, cleared by the worker last
  std::atomic<uint8_t> outcomeWordShown{0};     // 1 once the worker wrote the job's outcome word; Start clears it
  std::atomic<uint8_t> jobEnd{kJobEndNone};     // how the job ended (kJobEnd*); Start, then worker
  std::atomic<uint8_t> trimToPartitions{0};     // 1: a create ends at the last partition's end; written by Start
  std::atomic<uint64_t> fitSectors{0};          // nonzero: a write ends after these sectors, the part of a larger
                                                // image that fits the disk (the user agreed); written by Start
  std::atomic<uint64_t> leftOutBytes{0};        // with fitSectors: the image's bytes beyond them; written by Start
  std::atomic<uint8_t> fitAfterPartitions{0};   // with fitSectors: 1 when they end after the image's last partition,
                                                // 0 when every byte beyond them is zero; written by Start
  char* statusText = nullptr;                   // 256 bytes from start-up; use WriteStatusText/ReadStatusText
  std::atomic<uint64_t> tickCount{0};           // one-second ticks since the window opened; timer only
  std::atomic<uint64_t> startTick{0};           // tickCount when the worker started; worker
  uint8_t platformClass = kPlatformNt;          // 32 NT family, 16 legacy family; start-up only
};

extern JobState jobState;  // the one instance, alive for the whole run

// statusText is written by the main thread and by the worker; these keep a
// reader from ever seeing half a text.
void WriteStatusText(const char* text);
void ReadStatusText(char* out, uint32_t outSize);
// The worker's outcome word ("Completed", "Cancelled", "Failed"): from here on
// the timer's texts no longer replace it, so the word stays while the outcome
// box is open and after it.
void WriteOutcomeWord(const char* word);
// The timer's progress text; false, and nothing written, once the outcome word
// is there. Checked under the same guard as the write, so no tick that began
// before the word can land after it.
bool WriteProgressText(const char* text);

// sectorsDone x 100 / totalSectors; 0 when there is no total, so the display
// never meets NaN or infinity.
double ProgressPercent(uint64_t sectorsDone, uint64_t totalSectors);
// Both copies of percentDone from the current counters (worker, before each block).
void UpdatePercentDone();
// Both copies of percentDone set to `percent`, unless they already show more:
// a compressed image's progress never runs backwards (worker).
void AdvancePercentDone(double percent);

// The job's transfer buffers, page aligned (so sector aligned, as unbuffered
// device handles need): kRingSlots x kTransferBytes into jobState.buffer (its size into
// bufferBytes) and, for a verified write, kBlockBytes into verifyBuffer
// (AllocateVerifyBuffer). Start allocates them; the worker releases them at
// the end of every job. NULL on failure.
uint8_t* AllocateTransferBuffer();
uint8_t* AllocateVerifyBuffer();
// Frees jobState.buffer and jobState.verifyBuffer (those there are), sets them
// to NULL and bufferBytes to 0.
void ReleaseTransferBuffer();

// Window hooks of the job; set by the main window, used by the worker.
extern HWND mainWindow;     // the main dialog; owner of the worker's message boxes
extern HWND toolTipWindow;  // the main window's tool tip control
void AddToolTip(int controlId, HWND dialog, const char* text, HWND toolTip);
// LVM_REDRAWITEMS 0..0 to control 1044 of mainWindow, looked up each time.
void RequestProgressRedraw();
// Posts kImageSumsReadyMessage to mainWindow.
void ReportImageSums();

// Every box of the Start path and of the worker goes through these: a message
// box while the window runs; with consoleAnswer set (the command line), the
// sentence goes to the console instead and the answer comes from there.
// Either text form; `flags` as MessageBox takes them, the answer as it gives it.
int AskUser(HWND owner, const char* text, const char* caption, UINT flags);
int AskUserW(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);
// The command line's answer: exactly one of `text` and `wideText` is given.
typedef int (*ConsoleAnswer)(const char* text, const wchar_t* wideText, UINT flags);
extern ConsoleAnswer consoleAnswer;
