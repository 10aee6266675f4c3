// The demo's window found on an X display, for the tests that act on it as a user or
// the system would (close, cover, resize). Include after the other headers: Xlib
// defines macros (None, Bool, Status) that they use as names.
#pragma once

#include <cstring>

#include <X11/Xlib.h>

namespace apptest {

// The demo's top-level window under w, or 0.
inline Window FindDemoWindow(Display* d, Window w) {
    char* name = nullptr;
    if (XFetchName(d, w, &name) != 0 && name != nullptr) {
        const bool match = std::strcmp(name, "ZARNOTH 3D") == 0;
        XFree(name);
        if (match) {
            return w;
        }
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(d, w, &root, &parent, &children, &count) != 0) {
        for (unsigned int i = 0; i < count && found == 0; ++i) {
            found = FindDemoWindow(d, children[i]);
        }
        if (children != nullptr) {
            XFree(children);
        }
    }
    return found;
}

}  // namespace apptest
