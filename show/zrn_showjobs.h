// --jobs: a video made in parts at once by runs of this very program, then joined.
//
// The parts and the whole show's soundtrack are written into a folder of their own
// next to the video (not the system's temporary folder, often memory-backed, where a
// large FFV1 part would not fit). Each part is this program started again without a
// shell (posix_spawn of /proc/self/exe: never another zarnoth found on PATH), with its
// command line made from the option table (ZRNShowPartArguments); its standard error goes
// to its log in that folder and its pictures done come back through a pipe, summed up
// into one progress line on a terminal. The first part that fails stops the others;
// their files go, the failed part's log stays and the message names both.
//
// Linux only (/proc/self/exe); elsewhere --jobs is refused with a message.
#pragma once

#include "show/zrn_showoptions.h"

// 0 done; 1 failed (reported on standard error).
int ZRNRunShowVideoJobs(const ZRNShowDescription& show, const ZRNShowCommandLine& line);
