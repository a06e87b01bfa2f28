#include "online/online_texts.h"

#define TEXT_ROWS_FILE "online/online_text_rows.h"
#include "text_rows_table.h"

void SelectOnlineTexts(UiLanguage language) { SelectTextTable(kTable, language); }

const TextTable& OnlineTextTable() { return kTable; }
