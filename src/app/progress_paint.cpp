#include "app/progress_paint.h"

#include "app/app_state.h"
#include "app/progress_bar.h"
#include "app/progress_gradient.h"
#include "imaging/job_state.h"
#include "resources/resource_ids.h"

namespace {

// At 96 dots per inch; at other scales the bar takes the control's own size.
constexpr int kProgressColumnWidth = 325;
constexpr UINT kProgressRowHeight = 20;
constexpr COLORREF kStatusTextColour = 0x00FFFFFF;

HBRUSH gradientBrushes[kGradientSegments];  // one per bar segment; made at initialisation (main thread), kept for the run
HBRUSH blackBrush = nullptr;                // the bar beyond the progress; made at initialisation (main thread)

}  // namespace

void PrepareProgressBar(HWND dialog) {
  for (uint32_t i = 0; i < kGradientSegments; ++i) {
    gradientBrushes[i] = CreateSolidBrush(GradientColour(i));
  }
  blackBrush = CreateSolidBrush(RGB(0, 0, 0));

  LVCOLUMNA column = {};
  column.mask = LVCF_WIDTH;
  column.fmt = 0;
  // The one column and row fill the control at every scale, so the bar, its
  // gradient and its text do too.
  RECT client = {};
  HWND bar = GetDlgItem(dialog, IDC_PROGRESS);
  column.cx = bar != nullptr && GetClientRect(bar, &client) && client.right > 0 ? client.right : kProgressColumnWidth;
  column.iSubItem = 0;
  SendDlgItemMessageA(dialog, IDC_PROGRESS, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
  SendDlgItemMessageA(dialog, IDC_PROGRESS, LVM_SETITEMCOUNT, 1, 0);
}

BOOL MeasureProgressItem(HWND dialog, MEASUREITEMSTRUCT* measure) {
  if (measure->CtlID != IDC_PROGRESS) return FALSE;
  RECT client = {};
  HWND bar = GetDlgItem(dialog, IDC_PROGRESS);
  measure->itemHeight = bar != nullptr && GetClientRect(bar, &client) && client.bottom > 0
                            ? static_cast<UINT>(client.bottom)
                            : kProgressRowHeight;
  return TRUE;
}

BOOL DrawProgressItem(const DRAWITEMSTRUCT* draw) {
  if (draw->CtlID != IDC_PROGRESS) return FALSE;
  // Read once: the worker moves it while the bar is painted.
  const double percent = jobState.percentDone.load();
  ProgressBarLayout layout;
  LayOutProgressBar(draw->rcItem, percent, &layout);

  HDC dc = draw->hDC;
  RECT part = draw->rcItem;
  for (uint32_t i = 0; i < layout.segmentCount; ++i) {
    part.left = layout.segmentLeft[i];
    part.right = layout.segmentRight[i];
    FillRect(dc, &part, gradientBrushes[i]);
  }
  if (layout.hasBlack) {
    part.left = layout.blackLeft;
    part.right = draw->rcItem.right;
    FillRect(dc, &part, blackBrush);
  }

  char text[kStatusTextBytes];
  ReadStatusText(text, sizeof(text));
  // Transparent, so the letters stand on the bar's own colours rather than on
  // a box of whatever background colour the control's context holds.
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kStatusTextColour);
  SelectObject(dc, statusFont);
  RECT whole = draw->rcItem;
  DrawTextA(dc, text, -1, &whole, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  return TRUE;
}
