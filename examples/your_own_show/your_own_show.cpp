// your_own_show: a show of its own on the engine's show runtime. Two scenes: a picture
// that fades in from black, then a Quake II model turning. The show's files lie in the
// folder your_own_show_data next to the program: picture.jpg (or any picture the
// engine reads, under that name), model.md2 and skin.pcx. Its music (the runtime needs
// one) is the file that YOUR_OWN_SHOW_MUSIC names, else music.mp3 in that folder: MP3,
// or any other kind the runtime plays.
// The rest (window, keys, --shot, --video, --jobs, --help) is the runtime's.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "zarnoth/core/kvl_filestream.h"
#include "zarnoth/show/zrn_showmain.h"
#include "zarnoth/show/zrn_showscene.h"

namespace {

// Every scene's state follows from its tick counter alone, never from a clock or from
// how often Render runs: the runtime renders pictures at any rate, and moves a scene
// on with drawing off, and each tick must look the same whichever way it is reached.
class PictureScene : public ZRNShowScene {
public:
    PictureScene(const ZRNShowSceneContext& c, std::string folder)
        : ZRNShowScene(c.renderer, c.renderVisitor, c.tickVisitor), m_folder(std::move(folder)) {}

    bool Load(KVLString* errorText) override {
        m_camera.AddKey(KVLVector3(0.0f, 0.0f, 1.0f));
        m_camera.targets[0] = KVLVector3(0.0f, 0.0f, 0.0f);
        m_root = std::make_unique<ZRNNodeCamera>(&m_camera);
        const std::string path = m_folder + "picture.jpg";
        std::unique_ptr<ZRNNodeMaterial> material =
            AddTexturedMaterial(KVLFileStream(path.c_str()), "picture", kZRNMaterialTexturedFlat, false);
        if (!material) {
            errorText->Format("%s: not a picture the engine reads", path.c_str());
            return false;
        }
        // Lit by its ambient colour alone, which Render turns up: the light's ambient and
        // the global one add up to 0.8, so 1.25 shows the texels as they are.
        m_picture = GetMaterial(GetMaterialCount() - 1);
        m_picture->diffuse[0] = m_picture->diffuse[1] = m_picture->diffuse[2] = 0.0f;
        // The grid lies face down; half a turn about X shows it the right way up.
        ZRNNode* node = m_root->AddChild(AddTransform(ZRNTransformRotate, 3.1415927f, 0.0f, 0.0f));
        node = node->AddChild(std::move(material));
        node->AddChild(std::make_unique<ZRNNodeMesh>(AddMesh(ZRNMesh::MakeGrid(1.6f, 0.8f, 1)), nullptr));
        return true;
    }

    void Render() override {
        // Black at tick 0, the whole picture from kClearTick on.
        constexpr int32_t kClearTick = 150;
        const float shown = static_cast<float>(std::min(GetTickCounter(), kClearTick)) / kClearTick;
        m_picture->ambient[0] = m_picture->ambient[1] = m_picture->ambient[2] = 1.25f * shown;
        DrawTree(m_root.get());
    }

private:
    std::string m_folder;
    ZRNCameraTrack m_camera;
    ZRNMaterial* m_picture = nullptr;
    std::unique_ptr<ZRNNode> m_root;
};

class ModelScene : public ZRNShowScene {
public:
    ModelScene(const ZRNShowSceneContext& c, const std::string& folder)
        : ZRNShowScene(c.renderer, c.renderVisitor, c.tickVisitor),
          m_model((folder + "model.md2").c_str()),
          m_skin((folder + "skin.pcx").c_str()) {}

    bool Load(KVLString* errorText) override {
        m_camera.AddKey(KVLVector3(0.0f, 0.15f, 1.1f));
        m_camera.targets[0] = KVLVector3(0.0f, 0.0f, 0.0f);
        m_root = std::make_unique<ZRNNodeCamera>(&m_camera);
        std::unique_ptr<ZRNNode> model = LoadModelMD2(&m_model, &m_skin, false, errorText);
        if (!model) {
            return false;
        }
        ZRNNode* node = m_root->AddChild(AddTransform(ZRNTransformRotate, 0.0f, 0.0f, 0.0f));
        m_turn = GetTrack(GetTrackCount() - 1);
        node = node->AddChild(AddUniformTransform(ZRNTransformScale, 0.45f));
        node->AddChild(std::move(model));
        return true;
    }

    void Render() override {
        // A turn every 250 ticks (3.5 seconds).
        m_turn->keys[0].y = 6.2831853f * static_cast<float>(GetTickCounter() % 250) / 250.0f;
        DrawTree(m_root.get());
    }

private:
    // The model's streams outlive the scene's tree (the model loader keys on them).
    KVLFileStream m_model;
    KVLFileStream m_skin;
    ZRNCameraTrack m_camera;
    ZRNTransformTrack* m_turn = nullptr;
    std::unique_ptr<ZRNNode> m_root;
};

// What the description's callbacks share: the data folder, which the runtime finds
// before it makes a scene, and the music's stream, which the show owns.
struct ShowFiles {
    std::string folder;
    std::unique_ptr<KVLFileStream> music;
};

ZRNShowDescription YourOwnShow() {
    auto files = std::make_shared<ShowFiles>();
    ZRNShowDescription show;
    show.title = "Your own show";
    show.program = "your_own_show";
    show.version = "1.0";
    show.about = "Plays a picture and a turning model from your_own_show_data next to the program.";
    show.archive = "your_own_show_data";
    show.found = [files](const std::string& path) { files->folder = path + "/"; };
    show.music = [files]() -> const KVLStream* {
        const char* named = std::getenv("YOUR_OWN_SHOW_MUSIC");
        const std::string path = named != nullptr ? named : files->folder + "music.mp3";
        if (named == nullptr && !std::filesystem::exists(path)) {
            return nullptr;
        }
        files->music = std::make_unique<KVLFileStream>(path.c_str());
        return files->music.get();
    };
    // Left at ticks 300 and 600 (4.2 and 8.4 seconds); each seek makes a scene afresh.
    show.chapters = {
        {"picture", 300, [files](const ZRNShowSceneContext& c) {
             return std::make_unique<PictureScene>(c, files->folder);
         }},
        {"model", 600, [files](const ZRNShowSceneContext& c) {
             return std::make_unique<ModelScene>(c, files->folder);
         }},
    };
    return show;
}

}  // namespace

int main(int argc, char** argv) { return ZRNShowMain(YourOwnShow(), argc, argv); }
