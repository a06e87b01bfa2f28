// The windows in the chosen language: each template exists in Chinese and in
// English, and the one of the language shown is run; a language chosen while
// the main window is open re-labels it at once from its template.
#pragma once

#include "win_api.h"

// Runs the template in the language shown (RunDialogTemplate's answer).
INT_PTR RunDialogInLanguage(HINSTANCE instance, int templateId, HWND owner, DLGPROC procedure);
// Sets the text of every button and label of `window` that has an id, from the
// template in the language shown; `skip` is left as it is.
void RelabelFromTemplate(HWND window, int templateId, int skip);
