// The EGL side of both native offscreen bindings (the OpenGL 1.1 renderer's and the
// shader renderer's): a pbuffer of the picture's size and a context for one client
// API on Mesa's surfaceless platform, at least 5-6-5 colour and a 16-bit depth buffer.
//
// EGL keeps a bound API per thread, which eglMakeCurrent consults: every call here
// binds its own API and then restores the API that was bound, so that offscreen
// renderers of both APIs on one thread keep working. The display is one per process;
// every picture initialises it (EGL makes that harmless once it is initialised, and
// safe from any thread) and it stays initialised until the process ends (terminating
// it loses track of memory the software rasteriser still holds, and a later renderer
// would pay for the driver's start-up again). Releasing a picture also releases the
// thread's EGL state.
#pragma once

#include <cstdint>
#include <functional>

#include "core/kvl_string.h"
#include "scene/zrn_offscreen.h"

enum class ZRNEGLApi { OpenGL, OpenGLES2 };

// Creates the pbuffer and its context into *out (EGLDisplay, EGLSurface, EGLContext) (what was made stays there on
// failure, for ZRNEGLRelease); false with a reason in *error. alpha: 8 bits of alpha.
bool ZRNEGLCreate(ZRNEGLApi api, int32_t width, int32_t height, bool alpha, ZRNOffscreenHandles* out, KVLString* error);
// Makes the picture's context current; false with a reason in *error.
bool ZRNEGLMakeCurrent(ZRNEGLApi api, const ZRNOffscreenHandles& pbuffer, KVLString* error);
// Makes the context current to let releaseGL delete what was made in it, destroys
// the context and the pbuffer and empties *pbuffer; nothing when it holds no display.
void ZRNEGLRelease(ZRNEGLApi api, ZRNOffscreenHandles* pbuffer, const std::function<void()>& releaseGL);
