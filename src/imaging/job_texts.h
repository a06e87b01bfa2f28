// Every text the imaging worker shows (button captions, tool tips, status
// words, message box texts and captions), named once and worded in both
// languages in job_text_rows.h; the rule for a new text is that of
// app/app_texts.h. The worker reads a name when it shows the text, so a
// language chosen meanwhile is the one shown.
#pragma once

#include "text_table.h"

#include <cinttypes>
#include <cstdint>

#include "text_rows_declare.h"
#include "imaging/job_text_rows.h"
#include "text_rows_end.h"

// The buffers the texts are formatted into, large enough for either language.
constexpr uint32_t kNoteTextBytes = 192;
constexpr uint32_t kOutcomeTextChars = 640;
constexpr uint32_t kDiskWriteErrorTextBytes = 256;
constexpr uint32_t kDriveInUseTextBytes = 192;
constexpr uint32_t kImageProblemTextBytes = 512;
constexpr uint32_t kVerifyErrorTextBytes = 384;
constexpr uint32_t kSumTextBytes = 1536;
constexpr uint32_t kCheckResultTextBytes = 640;
constexpr uint32_t kRestoreTextBytes = 512;

// Points every text of the worker at the language's.
void SelectJobTexts(UiLanguage language);
// The rows, for the checks over both languages.
const TextTable& JobTextTable();
