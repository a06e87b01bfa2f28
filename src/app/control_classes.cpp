#include "app/control_classes.h"

#include "win_api.h"

void RegisterControlClasses() {
  // Always called: it also keeps the library a static import, loaded before
  // the dialog asks for its classes.
  InitCommonControls();
  typedef BOOL(WINAPI * InitClasses)(const INITCOMMONCONTROLSEX*);
  HMODULE library = GetModuleHandleA("COMCTL32.DLL");
  InitClasses initClasses = library != nullptr ? FindFunction<InitClasses>(library, "InitCommonControlsEx") : nullptr;
  if (initClasses == nullptr) return;
  // Separate calls: an older common-controls library refuses a request that
  // names classes it does not know, and the tab, list view and tool tip
  // classes must be registered in any case.
  INITCOMMONCONTROLSEX classes = {};
  classes.dwSize = sizeof(classes);
  classes.dwICC = ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES;
  initClasses(&classes);
  classes.dwICC = ICC_STANDARD_CLASSES;
  initClasses(&classes);
}
