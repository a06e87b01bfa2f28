// Windows-side stopwatch of the benchmark: presses Start in the running
// tavrin.exe, answers the overwrite warning as a user would, and measures the
// time from the press to the outcome box, with the performance counter.
//
//   tavrin_stopwatch.exe write|create [limit-seconds]
//
// Prints two figures in seconds: from the press to the box, and from the
// answer to the warning (the press, when creating) to the box, which leaves out
// the time the warning box takes to appear. Exits 0 when the box is "Success";
// prints the
// box's caption and text and exits 1 on any other outcome, 2 when no main
// window or no outcome box appears in time, 3 on a usage error.
//
// The outcome box is looked for every 2 ms with one FindWindow call: cheap
// enough not to slow the job it times, fine enough for runs of seconds.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "resource_ids.h"

namespace {

constexpr int kMessageBoxTextId = 0xFFFF;
constexpr DWORD kPollMs = 2;
const char kWarningCaption[] = "Warning! Data will be lost!";
// Every caption an outcome box of a job can have.
const char* const kOutcomeCaptions[] = {"Success", "Failure", "Cancelled", "Disk Error", "Verify Error"};

HWND FindBox(const char* caption) { return FindWindowA("#32770", caption); }

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || (std::strcmp(argv[1], "write") != 0 && std::strcmp(argv[1], "create") != 0)) {
    std::fprintf(stderr, "usage: tavrin_stopwatch.exe write|create [limit-seconds]\n");
    return 3;
  }
  const bool write = std::strcmp(argv[1], "write") == 0;
  const double limit = argc > 2 ? std::atof(argv[2]) : 3600.0;

  HWND main = FindWindowA("#32770", TAVRIN_MAIN_CAPTION);
  HWND start = main ? GetDlgItem(main, IDC_START) : nullptr;
  if (!start) {
    std::fprintf(stderr, "stopwatch: no main window with a Start button\n");
    return 2;
  }
  for (const char* caption : kOutcomeCaptions) {
    if (FindBox(caption)) {
      std::fprintf(stderr, "stopwatch: a \"%s\" box is already open\n", caption);
      return 2;
    }
  }

  LARGE_INTEGER frequency, began, answered, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&began);
  PostMessageA(start, BM_CLICK, 0, 0);
  answered = began;

  bool warned = !write;
  for (;;) {
    QueryPerformanceCounter(&now);
    const double elapsed = Seconds(began, now, frequency);
    if (!warned) {
      if (HWND box = FindBox(kWarningCaption)) {
        if (HWND yes = GetDlgItem(box, IDYES)) {
          QueryPerformanceCounter(&answered);
          PostMessageA(yes, BM_CLICK, 0, 0);
          warned = true;
        }
      }
    }
    for (const char* caption : kOutcomeCaptions) {
      HWND box = FindBox(caption);
      if (!box) continue;
      if (std::strcmp(caption, "Success") == 0) {
        std::printf("%.4f %.4f\n", elapsed, Seconds(answered, now, frequency));
        return 0;
      }
      char text[512] = {0};
      GetWindowTextA(GetDlgItem(box, kMessageBoxTextId), text, sizeof text);
      std::printf("%s: %s\n", caption, text);
      return 1;
    }
    if (elapsed > limit) {
      std::fprintf(stderr, "stopwatch: no outcome box after %.0f s\n", limit);
      return 2;
    }
    Sleep(kPollMs);
  }
}
