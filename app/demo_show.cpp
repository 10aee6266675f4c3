// The show's scene list.
#include "app/demo_show.h"

#include "app/scenes/scene_oscilloscope.h"
#include "app/scenes/scene_pictures.h"
#include "app/scenes/scene_room.h"
#include "app/scenes/scene_tunnel.h"

void DemoShowController::CreateScenes() {
    ZRNRendererInterface* r = GetRenderer();
    ZRNRenderVisitor* rv = GetRenderVisitor();
    ZRNTickVisitor* tv = GetTickVisitor();
    AddScene(std::make_unique<ParentalScene>(r, rv, tv));
    AddScene(std::make_unique<OscilloCreditsScene>(r, rv, tv, GetPlayer()));
    AddScene(std::make_unique<RoomScene>(r, rv, tv));
    AddScene(std::make_unique<TunnelScene>(r, rv, tv));
    AddScene(std::make_unique<EndSaRaceScene>(r, rv, tv));
}
