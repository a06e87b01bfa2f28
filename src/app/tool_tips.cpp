#include "app/tool_tips.h"

#include "app/app_texts.h"
#include "imaging/job_state.h"
#include "imaging/job_texts.h"
#include "resources/resource_ids.h"

void RegisterToolTips(HWND window) {
  AddToolTip(IDC_HELP, window, TIP_HELP, toolTipWindow);
  AddToolTip(IDC_START, window, jobState.busy.load() != 0 ? kTipCancel : TIP_START, toolTipWindow);
  AddToolTip(IDC_ABOUT, window, TIP_ABOUT, toolTipWindow);
  AddToolTip(IDC_BROWSE, window, TIP_BROWSE, toolTipWindow);
  AddToolTip(IDC_VERIFY, window, TIP_VERIFY, toolTipWindow);
  AddToolTip(IDC_TRIM, window, TIP_TRIM, toolTipWindow);
  AddToolTip(IDC_SUMS, window, TIP_SUMS, toolTipWindow);
}
