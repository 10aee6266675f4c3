// The engine's message box: the system's simple message box with a stop icon, and the
// same caption and text always written to standard error as one line
// ("Caption: text"). Where no display can show the box (no X11 or Wayland display,
// or SDL's dummy or offscreen video driver chosen) only the line is written, so the
// call never waits for a user who cannot see it.
#pragma once

// Returns true when the box was shown (and dismissed), false when only the line
// was written.
bool KVLMessageBox(const char* text, const char* caption = "Error");
