// The two languages of the user interface, and the rows through which each
// layer names every one of its texts once per language. A layer keeps its rows
// in one file that is included twice: its *_texts.h declares each name as a
// pointer, its *_texts.cpp defines the pointer (the Chinese text, so the texts
// are today's before any language is chosen) and lists the rows. Choosing a
// language points every name at that language's text.
#pragma once

#include <cstdint>

enum UiLanguage : uint8_t { kLanguageChinese = 0, kLanguageEnglish = 1 };

struct TextRow {
  const char* name;     // the constant's name, for the checks over the table
  const char** slot;    // the constant the code reads
  const char* chinese;
  const char* english;
};

struct WideTextRow {
  const char* name;
  const wchar_t** slot;
  const wchar_t* chinese;
  const wchar_t* english;
};

// A layer's rows; each list ends in a row whose name is null.
struct TextTable {
  const TextRow* rows;
  const WideTextRow* wideRows;
};

inline void SelectTextTable(const TextTable& table, UiLanguage language) {
  for (const TextRow* row = table.rows; row->name != nullptr; ++row) {
    *row->slot = language == kLanguageEnglish ? row->english : row->chinese;
  }
  for (const WideTextRow* row = table.wideRows; row->name != nullptr; ++row) {
    *row->slot = language == kLanguageEnglish ? row->english : row->chinese;
  }
}
