// Every text of the user interface that users see, named once and worded in
// both languages in app_text_rows.h. Texts with Chinese in them are wide: they
// go through the wide-character calls so they read correctly whatever the
// system's code page.
//
// A new text is one more row there: SAME_TEXT(NAME, "text") when it reads the
// same in both languages, TWO_WIDE(NAME, L"中文", L"English") when not. The code
// uses NAME as before; its value is the chosen language's text, so it is read
// when it is shown (never copied once into a record) and its size is not known
// at compile time.
#pragma once

#include "text_table.h"

#include <cinttypes>

#include "text_rows_declare.h"
#include "app/app_text_rows.h"
#include "text_rows_end.h"

// Names rather than texts
#define STATUS_FONT_FACE "Arial"
#define TOOLTIP_CLASS "tooltips_class32"
#define DEFAULT_IMAGE_EXTENSION "img"

// The window's system menu offers each language under its own name.
constexpr wchar_t kMenuChinese[] = L"中文";
constexpr wchar_t kMenuEnglish[] = L"English";

// Points every text of the window at the language's.
void SelectAppTexts(UiLanguage language);
// The rows, for the checks over both languages.
const TextTable& AppTextTable();
