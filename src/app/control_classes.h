// Registration of the common-control window classes the main window uses.
#pragma once

// Registers the tab, list view, tool tip and standard classes before the main
// dialog is created. InitCommonControlsEx is looked up at run time: common
// controls before version 4.70 (a plain first release of the legacy family)
// lack it, and there InitCommonControls registers every class they have.
void RegisterControlClasses();
