// The command line: its words split as the C runtime splits them, and read
// into the one thing to do. Pure text work; running it is console_run's.
#pragma once

#include "win_api.h"

#include <cstdint>

constexpr uint32_t kMaxArguments = 32;

enum class Command : uint8_t { Window, Help, Version, List, Write, Create, Hash, Check, Restore };

// Exit codes of the command line, as the README and --help give them.
constexpr int kExitCompleted = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitRefused = 3;
constexpr int kExitCancelled = 4;
constexpr int kExitMismatch = 5;

struct CommandLine {
  Command command = Command::Window;
  const wchar_t* file = nullptr;  // the image (write, create, hash) or, for the window, the file to show
  char designator = 0;            // the disk: 'A'..'Z' for a drive, '0'..'9' for a physical disk
  bool verify = true;             // write: read the disk back (on by default, as the check box)
  bool trim = false;              // create: end at the last partition
  bool yes = false;               // consent given beforehand
  bool quiet = false;             // only the outcome is printed
  bool english = false;           // --lang en: English for this run (not remembered)
  bool languageGiven = false;     // --lang zh-CN or --lang en was given
  const char* error = nullptr;    // a usage error's sentence (a format with one %s), null when none
  int32_t errorArgument = -1;     // the word the error names (index into the words), -1 when none
};

// Splits `text` in place into words, as the C runtime builds argv: spaces and
// tabs separate words outside quotes; 2n backslashes before a quote give n and
// the quote opens or closes, 2n+1 give n and a literal quote; other
// backslashes are kept. The first word (the program) ends at its closing
// quote or first space. Returns the number of words (at most maxWords).
uint32_t SplitCommandLine(wchar_t* text, wchar_t** words, uint32_t maxWords);

// Reads the words after the program's name. Never fails silently: a command
// line it cannot take sets `error` (exit code kExitUsage).
CommandLine ParseCommandLine(uint32_t count, const wchar_t* const* words);

// "E", "e:", "3" and "\\.\PhysicalDrive3": the designator, 0 for anything else.
char ParseDisk(const wchar_t* word);
