// The command line's console: standard output for what it reports, standard
// error for progress and usage errors, standard input for the answer to a
// question. A console gets wide characters (the NT family); a file or pipe
// gets UTF-8 (ANSI on the legacy family, which has no UTF-8).
#pragma once

#include "win_api.h"

#include <cstdint>

constexpr uint32_t kConsoleTextChars = 2048;
// Redirected progress: a plain line this often instead of one rewritten line.
constexpr uint32_t kProgressLineSeconds = 5;

// Takes the standard handles; a process given no output handle (the window
// build started from a console) attaches to its parent's console when the
// system can (AttachConsole, looked up at run time: the oldest systems lack
// it). Call once, before anything is printed.
void OpenConsoleStreams();

// One report: the text and a line end. `toError` sends it to standard error.
void PrintText(const char* text, bool toError = false);   // ANSI (the boxes' texts)
void PrintTextW(const wchar_t* text, bool toError = false);
// The progress line on standard error: rewritten in place on a console; on a
// file or pipe a line of its own once every kProgressLineSeconds calls (one a second).
void PrintProgress(const char* text);
// Ends a progress line rewritten in place, so the next report starts on a line of its own.
void EndProgress();

// True when standard input is a console the user can type into.
bool ConsoleCanAsk();
// Reads one line from standard input: true when it says "yes" (any case,
// surrounding spaces ignored).
bool ReadYes();
