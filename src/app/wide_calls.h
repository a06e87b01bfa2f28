// Wide-character calls that keep the Chinese texts intact on any code page.
// The legacy family has only stubs of them, whose answers vary (0, with or
// without a last error), so there the ANSI forms are used from the start and
// the texts pass through the system code page, which is how that family shows
// every text anyway.
#pragma once

#include "win_api.h"

// Runs a dialog template as a modal dialog; what DialogBoxParam answers.
INT_PTR RunDialogTemplate(HINSTANCE instance, int templateId, HWND owner, DLGPROC procedure);

// Sets the text of a dialog's control.
void SetControlTextWide(HWND dialog, int id, const WCHAR* text);

// Inserts a tab with the caption at index.
void InsertTabWide(HWND tabControl, int index, WCHAR* caption);
