// The engine's message box: the system's simple message box with a stop icon, and the
// same caption and text always written to standard error as one line
// ("Caption: text"). Where no one is there to dismiss the box only the line is
// written, so the call never waits for a user who cannot see it or is not there: when
// the environment variable ZARNOTH_NO_MESSAGE_BOX is set (tests, unattended runs), and
// on Linux also when no display can show it (no X11 or Wayland display, or SDL's dummy
// or offscreen video driver chosen).
#pragma once

// Returns true when the box was shown (and dismissed), false when only the line
// was written.
bool KVLMessageBox(const char* text, const char* caption = "Error");

// Backend: shows the box and waits until it is dismissed; false when it cannot be
// shown. KVLMessageBox has written the line and ruled out unattended runs already.
bool KVLShowNativeMessageBox(const char* text, const char* caption);
