#include "imaging/job_texts.h"

#define TEXT_ROWS_FILE "imaging/job_text_rows.h"
#include "text_rows_table.h"

void SelectJobTexts(UiLanguage language) { SelectTextTable(kTable, language); }

const TextTable& JobTextTable() { return kTable; }
