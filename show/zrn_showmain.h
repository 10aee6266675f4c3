// ZRNShowMain: a show's whole program. Parses the command line (see
// zrn_showoptions.h), then plays the show live in a window or full screen, or runs
// the offline mode asked for (a shot, a capture, a video, in parts or with --jobs, a
// join of parts). A show's main is one call:
//
//     int main(int argc, char** argv) { return ZRNShowMain(MyShow(), argc, argv); }
//
// Before any scene is made, the show's archive is looked for next to the program and
// then in its data folder, and the show is told where (ZRNShowDescription::found).
#pragma once

#include "show/zrn_show.h"

// The exit status: 0 done; 1 the show or the mode failed (reported on standard error,
// and in a box for the live show); 2 a bad option or value (one line naming it).
int ZRNShowMain(const ZRNShowDescription& show, int argc, char** argv);
