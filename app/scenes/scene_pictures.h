// The two still-picture scenes that open and close the show: a fixed camera one unit
// in front of a 1.6 x 0.8 textured rectangle. They differ only in the picture.
#pragma once

#include <memory>

#include "app/scenes/demo_scene.h"

class PictureScene : public DemoScene {
public:
    ~PictureScene() override;
    bool Load(KVLString* errorText) override;
    void Render() override;

protected:
    // resourceId: catalogue id of the picture; materialName: its material's name, also
    // named in the failure text.
    PictureScene(ZRNRendererInterface* renderer, ZRNRenderVisitor* renderVisitor, ZRNAnimVisitor* tickVisitor,
                 uint32_t resourceId, const char* materialName);

private:
    uint32_t m_resourceId;
    const char* m_materialName;
    std::unique_ptr<ZRNCameraTrack> m_cameraTrack;
    std::unique_ptr<ZRNNode> m_root;
};

// "tex\prt.jpg", the first scene.
class ParentalScene : public PictureScene {
public:
    ParentalScene(ZRNRendererInterface* renderer, ZRNRenderVisitor* renderVisitor, ZRNAnimVisitor* tickVisitor);
};

// "tex\end.jpg", the last scene.
class EndSaRaceScene : public PictureScene {
public:
    EndSaRaceScene(ZRNRendererInterface* renderer, ZRNRenderVisitor* renderVisitor, ZRNAnimVisitor* tickVisitor);
};
