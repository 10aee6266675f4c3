// The platform backend's classes for the programs that open a window and draw in it
// (the demo, kvl view), under one set of names, so that those programs are written
// once: ZRNBackendWindow (constructed with title, width, height and bits per pixel;
// SetFullScreen before Open), ZRNBackendRenderer (constructed on that window;
// SetSwapInterval before Initialise; GetError) and ZRNBackendTimer.
//
// The main loop runs, per pass: ZRNBackendWaitForMessage (returns once the system has
// a message for the program; on SDL at once), the caller's frame, ZRNBackendPumpMessages
// (delivers the window events to the listeners: on Win32 exactly one message, on SDL
// all pending events; false once the system asks the program to quit).
//
// This is the one place that chooses between the backends; the code that uses it stays
// free of platform conditionals.
#pragma once

#include "core/kvl_string.h"

#if defined(_WIN32)
#include "platform/win32/kvl_timer_mm.h"
#include "platform/win32/kvl_window_win32.h"
#include "scene/win32/zrn_renderer_wgl.h"
using ZRNBackendWindow = KVLWindowWin32;
using ZRNBackendRenderer = ZRNRendererWGL;
using ZRNBackendTimer = KVLTimerMM;
#else
#include "platform/kvl_timer.h"
#include "platform/sdl/kvl_window_sdl.h"
#include "scene/sdl/zrn_renderer_sdl.h"
using ZRNBackendWindow = KVLWindowSDL;
using ZRNBackendRenderer = ZRNRendererSDL;
using ZRNBackendTimer = KVLTimerThread;
#endif

void ZRNBackendWaitForMessage();
bool ZRNBackendPumpMessages();
// The windowing system's reason for its last failure (empty when it gives none).
KVLString ZRNBackendLastError();
