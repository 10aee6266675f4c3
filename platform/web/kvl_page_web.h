// What the program tells the page it runs in: events the page's script handles
// (Module.zarnothEvent(name, detail) when the page defines it), always also written
// to the browser's console as "zarnoth: name detail".
#pragma once

void KVLWebPageEvent(const char* name, const char* detail);
