#pragma once

namespace tvi {

// Whether this process may send key presses to other applications. Never prompts; writes
// "Accessibility is: ENABLED" or "... DISABLED" to the system log.
bool TVIAccessibilityIsEnabled();

// Asks the user to grant access: the system's own prompt, which it shows only while access
// is not granted, or on older systems the settings pane.
void TVIAccessibilityOpenPanel();

}
