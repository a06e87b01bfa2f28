// A layer's table, made from its rows file: the name TEXT_ROWS_FILE gives
// (e.g. "app/app_text_rows.h"). Included once, by the layer's *_texts.cpp, after
// its *_texts.h; defines the pointers and the layer's table kTable.
#include "text_rows_define.h"
#include TEXT_ROWS_FILE
#include "text_rows_end.h"

namespace {

const TextRow kRows[] = {
#include "text_rows_narrow.h"
#include TEXT_ROWS_FILE
#include "text_rows_end.h"
    {nullptr, nullptr, nullptr, nullptr}};

const WideTextRow kWideRows[] = {
#include "text_rows_wide.h"
#include TEXT_ROWS_FILE
#include "text_rows_end.h"
    {nullptr, nullptr, nullptr, nullptr}};

const TextTable kTable{kRows, kWideRows};

}  // namespace
