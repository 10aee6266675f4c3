// DemoShowController: the controller with the show's five scenes, in order: the
// "Parental" picture, the oscilloscope and credits, the room, the tunnel ride and the
// "EndSaRace" picture.
#pragma once

#include "app/demo_controller.h"

class DemoShowController : public DemoController {
public:
    using DemoController::DemoController;

protected:
    void CreateScenes() override;
};
