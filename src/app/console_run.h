// Runs a command of the command line without the window, through the very
// Start path the window uses, its boxes turned into console sentences.
#pragma once

#include "app/command_line.h"

#include <cstdint>

// Runs `line` (read from `words`, which its error index points into) and
// returns the process's exit code (kExit*). Start-up (PrepareProcessState)
// has run; the console streams are opened here.
int RunCommandLine(const CommandLine& line, const wchar_t* const* words);

// The console's answer to a box (the hook of AskUser): the sentence printed;
// a question answered by --yes or by typing "yes" while nothing runs, and No
// while a job runs or when there is no console to ask.
int AnswerOnConsole(const char* text, const wchar_t* wideText, UINT flags);
