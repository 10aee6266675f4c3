// The WebGL 1 context on the page's canvas, as both web renderer bindings (the window
// and the offscreen picture) create and destroy it: no alpha, a depth buffer, no
// stencil, no antialiasing, and a drawing buffer kept after each frame so that the
// page can read the picture back.
#pragma once

#include <functional>

#include "core/kvl_string.h"

// Creates the context and makes it current: its handle (above 0), or 0 with a reason
// in *error.
int ZRNCreateCanvasContext(KVLString* error);

// Makes the context current, lets releaseGL delete what was made in it, and destroys
// it; nothing for a handle of 0 or below.
void ZRNDestroyCanvasContext(int context, const std::function<void()>& releaseGL);
