// Painting of the progress bar: the owner-drawn single row of list view 1044.
#pragma once

#include "win_api.h"

// Brushes, the list view's one column and its one row.
void PrepareProgressBar(HWND dialog);
// WM_MEASUREITEM / WM_DRAWITEM for control 1044; FALSE for any other control.
BOOL MeasureProgressItem(HWND dialog, MEASUREITEMSTRUCT* measure);
BOOL DrawProgressItem(const DRAWITEMSTRUCT* draw);
