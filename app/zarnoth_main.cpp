// zarnoth: the demo program. Without options it plays the show full screen from the
// archive next to the program (or, installed, in the package's data folder); the
// options only add ways to watch or record it (zarnoth --help).
#include "app/demo_show.h"
#include "show/zrn_showmain.h"

int main(int argc, char** argv) { return ZRNShowMain(DemoShowDescription(), argc, argv); }
