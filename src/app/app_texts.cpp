#include "app/app_texts.h"

#define TEXT_ROWS_FILE "app/app_text_rows.h"
#include "text_rows_table.h"

void SelectAppTexts(UiLanguage language) { SelectTextTable(kTable, language); }

const TextTable& AppTextTable() { return kTable; }
