#include "app/app_texts.h"

#include "text_rows_define.h"
#include "app/app_text_rows.h"
#include "text_rows_end.h"

namespace {

const TextRow kRows[] = {
#include "text_rows_narrow.h"
#include "app/app_text_rows.h"
#include "text_rows_end.h"
    {nullptr, nullptr, nullptr, nullptr}};

const WideTextRow kWideRows[] = {
#include "text_rows_wide.h"
#include "app/app_text_rows.h"
#include "text_rows_end.h"
    {nullptr, nullptr, nullptr, nullptr}};

const TextTable kTable{kRows, kWideRows};

}  // namespace

void SelectAppTexts(UiLanguage language) { SelectTextTable(kTable, language); }

const TextTable& AppTextTable() { return kTable; }
