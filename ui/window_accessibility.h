// The window's controls as assistive tools see them: the controls' own interfaces, named from
// the window's texts in the user's language. A control with no caption or tooltip of its own
// is named by the hint the window shows for it (looked up when asked, so a language switch
// renames it at once).
#pragma once

namespace ulvane {

// Call once, on the window's thread, before the window is shown.
void InstallWindowAccessibility();

}  // namespace ulvane
