// --jobs: a video made in parts at once by runs of this very program, then joined.
//
// The parts and the whole show's soundtrack are written into a folder of their own
// next to the video (not the system's temporary folder, often memory-backed, where a
// large FFV1 part would not fit). Each part is this program started again without a
// shell (posix_spawn of /proc/self/exe: never another zarnoth found on PATH), with its
// command line made from the option table (ZRNShowPartArguments); its standard error goes
// to its log in that folder and its pictures done come back through a pipe, summed up
// into one progress line on a terminal. The first part that fails stops the others;
// their files go, the failed part's log stays and the message names both. The join is
// one more run (--join), writing into the folder; the video takes OUT's name only when
// it is complete, so OUT is never a half-written file and a file there before is left
// as it was until then.
//
// SIGINT and SIGTERM (Ctrl+C) stop the run: the signal is passed on to the runs still
// going, which are waited for (killed after a few seconds if they do not end), the
// folder goes with everything in it, one line says so, and the status is 128 + the
// signal. A signal the program was started ignoring (a background job of a script)
// stays ignored.
//
// Linux only (/proc/self/exe); elsewhere --jobs is refused with a message.
#pragma once

#include "show/zrn_showoptions.h"

// 0 done; 1 failed (reported on standard error); 130 or 143 stopped by SIGINT or SIGTERM.
int ZRNRunShowVideoJobs(const ZRNShowDescription& show, const ZRNShowCommandLine& line);
