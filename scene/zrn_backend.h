// The platform backend's classes for the programs that open a window and draw in it
// (the demo, kvl view), under one set of names, so that those programs are written
// once: ZRNBackendWindow (constructed with title, width, height and bits per pixel;
// SetFullScreen before Open), ZRNBackendRenderer (constructed on that window;
// SetSwapInterval before Initialise; GetError), ZRNBackendTimer and
// ZRNBackendOffscreenRenderer (pictures read back: constructed with width and height;
// Initialise, Present, ReadPixels, GetError).
//
// The main loop runs, per pass: ZRNBackendWaitForMessage (returns once the system has
// a message for the program; on SDL at once), the caller's frame, ZRNBackendPumpMessages
// (delivers the window events to the listeners: on Win32 exactly one message, on SDL
// all pending events; false once the system asks the program to quit).
//
// ZRNBackendRunLoop runs those passes: natively a plain loop that returns once a pass
// says stop (after done); on the web page the browser calls one pass per animation
// frame and ZRNBackendRunLoop returns at once, before the first pass; done runs after
// the last, when the program's main has long returned. Whatever the passes use must
// therefore outlive main's stack (own it in the functions).
//
// This is the one place that chooses between the backends; the code that uses it stays
// free of platform conditionals.
#pragma once

#include <functional>

#include "core/kvl_string.h"

#if defined(_WIN32)
#include "platform/win32/kvl_timer_mm.h"
#include "platform/win32/kvl_window_win32.h"
#include "scene/win32/zrn_renderer_wgl.h"
#include "scene/zrn_renderer_offscreen.h"
using ZRNBackendWindow = KVLWindowWin32;
using ZRNBackendRenderer = ZRNRendererWGL;
using ZRNBackendTimer = KVLTimerMM;
using ZRNBackendOffscreenRenderer = ZRNRendererOffscreen;
#elif defined(__EMSCRIPTEN__)
#include "platform/web/kvl_timer_web.h"
#include "platform/web/kvl_window_web.h"
#include "scene/web/zrn_renderer_web.h"
#include "scene/zrn_renderer_gles2_offscreen.h"
using ZRNBackendWindow = KVLWindowWeb;
using ZRNBackendRenderer = ZRNRendererWeb;
using ZRNBackendTimer = KVLTimerWeb;
using ZRNBackendOffscreenRenderer = ZRNRendererGLES2Offscreen;
#else
#include "platform/kvl_timer.h"
#include "platform/sdl/kvl_window_sdl.h"
#include "scene/sdl/zrn_renderer_sdl.h"
#include "scene/zrn_renderer_offscreen.h"
using ZRNBackendWindow = KVLWindowSDL;
using ZRNBackendRenderer = ZRNRendererSDL;
using ZRNBackendTimer = KVLTimerThread;
using ZRNBackendOffscreenRenderer = ZRNRendererOffscreen;
#endif

void ZRNBackendWaitForMessage();
bool ZRNBackendPumpMessages();
// The windowing system's reason for its last failure (empty when it gives none).
KVLString ZRNBackendLastError();
void ZRNBackendRunLoop(std::function<bool()> pass, std::function<void()> done);
