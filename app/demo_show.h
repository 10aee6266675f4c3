// ZARNOTH 3D as a show: its description (title, archive, music, the five scenes with
// their switch ticks and names) and the controller that plays it. The runtime's
// classes go by the names the demo's own code has always used for them.
#pragma once

#include "show/zrn_show.h"
#include "show/zrn_showapp.h"
#include "show/zrn_showcontroller.h"
#include "show/zrn_showtimeline.h"

using DemoController = ZRNShowController;
using DemoApp = ZRNShowApp;

// The show: the "Parental" picture, the oscilloscope and credits, the room, the tunnel
// ride and the "EndSaRace" picture, left at ticks 280, 1120, 2870, 5530 and 5880.
const ZRNShowDescription& DemoShowDescription();
// Its switch ticks and the step clock's rules over them.
const ZRNShowTimeline& DemoTimeline();

// The controller of the demo's show (for the tests that build one directly).
class DemoShowController : public DemoController {
public:
    DemoShowController(KVLWindow* window, ZRNRendererInterface* renderer, KVLTimer* timer)
        : DemoController(DemoShowDescription(), window, renderer, timer) {}
};
